#include "packed_header.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "host_os.h"
#include "sumbrel.h"

namespace {

uint32_t Word(const unsigned char* bytes) {
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
         uint32_t(bytes[3]) << 24;
}

}  // namespace

bool ReadPackedHeader(const std::string& path, PackedHeader& header, std::string& error) {
  header = PackedHeader();
  unsigned char bytes[16] = {};
  size_t have = 0;
  int64_t size = 0;
  if (!HostOs::ReadFileStart(path, bytes, sizeof bytes, have, size, error)) return false;
  header.fileSize = size;
  header.originalSize = size;
  if (have < 4) return true;
  const uint32_t magic = Word(bytes);
  if (magic == STORED_MAGIC) {
    header.form = PackedForm::Stored;
    header.originalSize = size - 4;
  } else if (magic == MODEL_MAGIC) {
    header.form = PackedForm::ModelCoded;
    header.complete = have == sizeof bytes;
    // The length is a signed 32-bit value; a negative one can only come from damage.
    header.originalSize = have >= 8 ? int64_t(int32_t(Word(bytes + 4))) : 0;
    header.frames = have >= 12 ? int64_t(int32_t(Word(bytes + 8))) : -1;
  }
  return true;
}

std::string HeaderDamage(const PackedHeader& header) {
  if (header.form != PackedForm::ModelCoded) return "";
  if (!header.complete)
    return "damaged compressed file: only " + std::to_string(header.fileSize) +
           " bytes, shorter than its 16-byte header";
  // A job never codes an empty MP3 file, so a length of 0 or less is damage.
  if (header.originalSize <= 0)
    return "damaged compressed file: the header records an original length of " +
           std::to_string(header.originalSize);
  if (header.frames < 0)
    return "damaged compressed file: the header records " + std::to_string(header.frames) +
           " frames";
  return "";
}

double SavedPercent(int64_t originalSize, int64_t compressedSize) {
  if (originalSize <= 0) return 0.0;
  return 100.0 - 100.0 * double(compressedSize) / double(originalSize);
}

const char* FormName(PackedForm form) {
  switch (form) {
    case PackedForm::ModelCoded: return "model-coded";
    case PackedForm::Stored: return "stored";
    case PackedForm::NotCompressed: break;
  }
  return "not compressed";
}

std::string DescribeHeader(const PackedHeader& header) {
  char line[256];
  switch (header.form) {
    case PackedForm::NotCompressed:
      std::snprintf(line, sizeof line, "not compressed, %" PRId64 " bytes", header.fileSize);
      break;
    case PackedForm::Stored:
      std::snprintf(line, sizeof line,
                    "stored, original %" PRId64 " bytes, compressed %" PRId64
                    " bytes, saved %.2f%%, frames not recorded",
                    header.originalSize, header.fileSize,
                    SavedPercent(header.originalSize, header.fileSize));
      break;
    case PackedForm::ModelCoded:
      std::snprintf(line, sizeof line,
                    "model-coded, original %" PRId64 " bytes, compressed %" PRId64
                    " bytes, saved %.2f%%, %" PRId64 " frames",
                    header.originalSize, header.fileSize,
                    SavedPercent(header.originalSize, header.fileSize), header.frames);
      break;
  }
  return line;
}
