#include <windows.h>

#include "plugin_library.h"
#include "program_path.h"

namespace {

const char kLibraryName[] = "sumbrel.dll";

}  // namespace

bool LoadPluginLibrary(PluginLibrary& library, std::string& error) {
  // The library sits beside the program, wherever the program was installed or called from.
  std::string folder;
  if (!platform::ProgramFolder(folder, error)) return false;
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
