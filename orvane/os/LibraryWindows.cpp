#include <windows.h>

#include "Os.h"

namespace Os {

const char* const LibraryArch = "win64";

bool FileExists(const std::string& Path) {
  const DWORD Attributes = GetFileAttributesA(Path.c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace Os
