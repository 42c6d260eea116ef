#include <windows.h>

#include "plugin_library.h"

namespace {

const char kLibraryName[] = "sumbrel.dll";

// The library sits beside the program, wherever the program was installed or called from.
bool ProgramFolder(std::string& folder, std::string& error) {
  // GetModuleFileNameA fills the whole buffer when the path is cut short, so grow it until the
  // path fits (long paths can exceed MAX_PATH).
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), DWORD(buffer.size()));
    if (n == 0) {
      error = "cannot find the program's folder (error " + std::to_string(GetLastError()) + ")";
      return false;
    }
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    if (buffer.size() >= 65536) {
      error = "cannot find the program's folder: path too long";
      return false;
    }
    buffer.resize(buffer.size() * 2);
  }
  folder = buffer.substr(0, buffer.find_last_of("\\/") + 1);
  return true;
}

}  // namespace

bool LoadPluginLibrary(PluginLibrary& library, std::string& error) {
  std::string folder;
  if (!ProgramFolder(folder, error)) return false;
  library.path = folder + kLibraryName;
  // A file there that is no loadable library fails with a message, not a dialog box.
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE handle = LoadLibraryA(library.path.c_str());
  const DWORD code = GetLastError();
  SetErrorMode(previous);
  if (!handle) {
    error = "cannot load the library: " + library.path + " (error " + std::to_string(code) + ")";
    return false;
  }
  library.handle = handle;
  library.getModule = reinterpret_cast<GetModuleFunction>(
      reinterpret_cast<void*>(GetProcAddress(handle, "GetModule")));
  if (!library.getModule) {
    error = "the library " + library.path + " has no entry point GetModule";
    FreeLibrary(handle);
    library.handle = nullptr;
    return false;
  }
  return true;
}
