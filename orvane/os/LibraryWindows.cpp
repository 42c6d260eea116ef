#include <windows.h>

#include "Os.h"

namespace Os {

const char* const LibraryArch = "win64";
const char* const LibraryExtension = ".dll";

bool FileExists(const std::string& Path) {
  const DWORD Attributes = GetFileAttributesA(Path.c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void* LoadLibraryFile(const std::string& Path) {
  // A file that is there but is no loadable library must fail quietly, as a
  // missing one does, rather than stop a console filter with a dialog box.
  const UINT Previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE Library = LoadLibraryA(Path.c_str());
  SetErrorMode(Previous);
  return reinterpret_cast<void*>(Library);
}

void* FindEntry(void* Library, const char* Name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(Library), Name));
}

void FreeLibraryFile(void* Library) { FreeLibrary(static_cast<HMODULE>(Library)); }

}  // namespace Os
