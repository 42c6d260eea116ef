// The questions a host may ask about a file between jobs: does the module take it, and how
// much did compressing it save.
#include <climits>
#include <cstdio>
#include <cstring>

#include "module/file_format.h"
#include "module/mp3_module.h"

namespace {

struct ReadFile {
  explicit ReadFile(const char* path) : file(path ? std::fopen(path, "rb") : nullptr) {}
  ~ReadFile() {
    if (file) std::fclose(file);
  }
  FILE* file;
};

// The three characters after the last point; the first character is never taken for the
// point, and a name without one is read from its second character on.
bool HasExtension(const char* path, const char* extension) {
  const size_t length = std::strlen(path);
  size_t point = 0;
  for (size_t i = length; i-- > 1;)
    if (path[i] == '.') {
      point = i;
      break;
    }
  // Stops at the terminator of a short name.
  return std::strncmp(path + point + 1, extension, 3) == 0;
}

// A compressed file's size and what its header records.
struct Header {
  bool opened = false;
  int64_t size = 0;
  uint32_t magic = 0;   // missing bytes read as 0
  bool hasLength = false;
  int64_t length = 0;   // the MP3 length of format 1's model-coded form or of format 2
};

Header ReadHeader(const char* path) {
  Header header;
  ReadFile in(path);
  if (!in.file) return header;
  header.opened = true;
  header.size = file_format::LengthAtEnd(in.file);
  std::rewind(in.file);
  const file_format::Header fields = file_format::ReadHeader(in.file);
  header.magic = fields.magic;
  header.hasLength = fields.hasLength;
  header.length = fields.length;
  return header;
}

}  // namespace

int MP3Module::IsSupported(const char* path) {
  ReadFile in(path);
  if (!in.file) return 0;
  if (HasExtension(path, "mp3")) return 1;
  if (!HasExtension(path, "sbk")) return 0;
  const uint32_t magic = file_format::ReadHeader(in.file).magic;
  return magic == MODEL_MAGIC || magic == STORED_MAGIC || magic == MODEL2_MAGIC || magic == STORED2_MAGIC;
}

double MP3Module::GetSavedPercent(const char* path) {
  const Header header = ReadHeader(path);
  if (!header.opened) return -1000.0;
  const double size = double(header.size);
  if (header.magic == STORED_MAGIC) {
    if (header.size <= file_format::kStoredOverhead) return -1000.0;
    return 100.0 - 100.0 * size / double(header.size - file_format::kStoredOverhead);
  }
  if (header.magic == MODEL_MAGIC || header.magic == MODEL2_MAGIC || header.magic == STORED2_MAGIC) {
    // A file too short to hold the length counts as having none.
    if (!header.hasLength || header.length == 0) return -2.0;
    return 100.0 - 100.0 * size / double(header.length);
  }
  return 0.0;
}

int MP3Module::GetSavedBytes(const char* path) {
  const Header header = ReadHeader(path);
  if (!header.opened) return -1000;
  if (header.magic == STORED_MAGIC) return -file_format::kStoredOverhead;
  const bool recordsLength = header.magic == MODEL_MAGIC || header.magic == MODEL2_MAGIC || header.magic == STORED2_MAGIC;
  if (!recordsLength || !header.hasLength) return 0;
  const int64_t saved = header.length - header.size;
  return saved < INT_MIN ? INT_MIN : saved > INT_MAX ? INT_MAX : int(saved);
}
