#include <windows.h>

#include "library.h"
#include "system_error.h"

namespace platform {

const char* const kLibraryPrefix = "";
const char* const kLibraryExtension = ".dll";

void* LoadLibraryFile(const std::string& path, std::string* reason) {
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE library = LoadLibraryA(path.c_str());
  const DWORD code = GetLastError();
  SetErrorMode(previous);
  if (!library && reason) *reason = path + ": " + ErrorText(code);
  return reinterpret_cast<void*>(library);
}

void* FindEntry(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void FreeLibraryFile(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace platform
