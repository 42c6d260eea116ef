#include "module/file_format.h"

#include "crc32.h"
#include "module/file_position.h"

namespace file_format {

Header ReadHeader(FILE* file) {
  uint8_t bytes[kLongestHeader];
  return ParseHeader(bytes, std::fread(bytes, 1, sizeof bytes, file));
}

bool ReadWord(FILE* file, uint32_t& word) {
  uint8_t bytes[4];
  if (std::fread(bytes, 1, 4, file) != 4) return false;
  word = WordAt(bytes);
  return true;
}

bool WriteWord(FILE* file, uint32_t word) {
  const uint8_t bytes[4] = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), uint8_t(word >> 24)};
  return std::fwrite(bytes, 1, 4, file) == 4;
}

bool CopyRest(FILE* from, FILE* to, uint8_t mask, uint32_t* crc, int64_t* copied, bool toStored) {
  uint8_t block[16384];
  for (;;) {
    const size_t got = std::fread(block, 1, sizeof block, from);
    if (crc && toStored) *crc = Crc32C(block, got, *crc);
    if (mask)
      for (size_t i = 0; i < got; ++i) block[i] ^= mask;
    if (crc && !toStored) *crc = Crc32C(block, got, *crc);
    if (copied) *copied += int64_t(got);
    if (got && to && std::fwrite(block, 1, got, to) != got) return false;
    if (got < sizeof block) return !std::ferror(from);
  }
}

bool ChecksumOfRest(FILE* file, uint32_t& crc, int64_t& length) {
  uint8_t block[65536];
  crc = 0;
  length = 0;
  for (;;) {
    const size_t got = std::fread(block, 1, sizeof block, file);
    crc = Crc32C(block, got, crc);
    length += int64_t(got);
    if (got < sizeof block) return !std::ferror(file);
  }
}

int64_t LengthAtEnd(FILE* file) { return SeekToEnd(file); }

}  // namespace file_format
