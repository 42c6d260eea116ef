// fennick FILE-OR-MASK STRING NUMBER: replaces STRING in one file, or in every
// file that matches a mask, by the processor count plus NUMBER.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "file_update.h"
#include "number.h"
#include "processors.h"
#include "replace.h"
#include "search.h"

namespace {

void ProcessFile(const char* path, const std::string& needle, const std::string& replacement) {
  try {
    std::string contents;
    if (!ReadWholeFile(path, contents)) {
      std::printf("Cannot open %s\n", path);
      return;
    }
    const std::string result = ReplaceAll(contents, needle, replacement);
    std::string error;
    if (!ReplaceFile(path, result, error)) {
      // Standard output keeps its promised messages; the reason goes to
      // standard error so that a failed rewrite is not silent.
      std::fflush(stdout);
      std::fprintf(stderr, "fennick: %s: %s\n", path, error.c_str());
      return;
    }
    std::printf("Updated %s\n", path);
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    std::fprintf(stderr, "fennick: %s: out of memory\n", path);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::printf("Usage: fennick <file|mask> <string> <number>\n");
    return 1;
  }
  const char* target = argv[1];
  const std::string needle = argv[2];
  const int32_t number = ParseNumber(argv[3]);

  if (needle.empty()) {
    std::printf("String must not be empty.\n");
    return 1;
  }
  if (number > 0) {
    std::printf("Number must be 0 or negative.\n");
    return 1;
  }
  const std::string replacement = std::to_string(ReplacementValue(platform::UsableProcessors(), number));

  if (std::strpbrk(target, "*?") == nullptr) {
    ProcessFile(target, needle, replacement);
    return 0;
  }

  std::vector<std::string> files;
  if (!FindFiles(target, files)) {
    std::printf("No files match mask.\n");
    return 1;
  }
  for (const std::string& path : files) ProcessFile(path.c_str(), needle, replacement);
  return 0;
}
