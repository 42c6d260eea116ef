#include "packed_header.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "host_os.h"
#include "module/file_format.h"

bool ReadPackedHeader(const std::string& path, PackedHeader& header, std::string& error) {
  header = PackedHeader();
  unsigned char bytes[file_format::kLongestHeader] = {};
  size_t have = 0;
  int64_t size = 0;
  if (!HostOs::ReadFileStart(path, bytes, sizeof bytes, have, size, error)) return false;
  header.fileSize = size;
  header.originalSize = size;
  const file_format::Header fields = file_format::ParseHeader(bytes, have);
  if (!fields.hasMagic) return true;
  if (fields.magic == STORED_MAGIC) {
    header.form = PackedForm::Stored;
    header.originalSize = size - file_format::kStoredOverhead;
  } else if (fields.magic == MODEL_MAGIC) {
    header.form = PackedForm::ModelCoded;
    header.complete = fields.complete;
    // The length is signed; a negative one can only come from damage.
    header.originalSize = fields.hasLength ? fields.length : 0;
    header.frames = fields.hasFrames ? fields.frames : -1;
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
