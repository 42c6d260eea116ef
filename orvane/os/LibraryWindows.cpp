#include <windows.h>

#include "Os.h"

namespace Os {

const char* const LibraryArch = "win64";
const char* const LibraryExtension = ".dll";

std::string ProgramDirectory() {
  // GetModuleFileNameA fills the whole buffer when the path is cut short, so
  // grow it until the path fits (long paths can exceed MAX_PATH).
  std::string Full(MAX_PATH, '\0');
  for (;;) {
    const DWORD N = GetModuleFileNameA(nullptr, Full.data(), static_cast<DWORD>(Full.size()));
    if (N == 0) return ".\\";
    if (N < Full.size()) {
      Full.resize(N);
      break;
    }
    if (Full.size() >= 65536) return ".\\";
    Full.resize(Full.size() * 2);
  }
  return Full.substr(0, Full.find_last_of("\\/") + 1);
}

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
