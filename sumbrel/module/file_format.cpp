#include "module/file_format.h"

#include "module/file_position.h"

namespace file_format {

bool ReadWord(FILE* file, uint32_t& word) {
  uint8_t bytes[4];
  if (std::fread(bytes, 1, 4, file) != 4) return false;
  word = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
  return true;
}

uint32_t ReadWordPadded(FILE* file) {
  uint8_t bytes[4] = {};
  (void)std::fread(bytes, 1, 4, file);
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

bool WriteWord(FILE* file, uint32_t word) {
  const uint8_t bytes[4] = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), uint8_t(word >> 24)};
  return std::fwrite(bytes, 1, 4, file) == 4;
}

bool CopyRest(FILE* from, FILE* to, uint8_t mask) {
  uint8_t block[16384];
  for (;;) {
    const size_t got = std::fread(block, 1, sizeof block, from);
    if (mask)
      for (size_t i = 0; i < got; ++i) block[i] ^= mask;
    if (got && std::fwrite(block, 1, got, to) != got) return false;
    if (got < sizeof block) return !std::ferror(from);
  }
}

int64_t LengthAtEnd(FILE* file) { return SeekToEnd(file); }

}  // namespace file_format
