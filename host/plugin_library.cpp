#include "plugin_library.h"

#include "library.h"
#include "program_path.h"

bool LoadPluginLibrary(PluginLibrary& library, std::string& error) {
  // The library sits beside the program, wherever the program was installed or called from.
  std::string folder;
  if (!platform::ProgramFolder(folder, error)) return false;
  library.path = folder + platform::kLibraryPrefix + "sumbrel" + platform::kLibraryExtension;
  std::string reason;
  library.handle = platform::LoadLibraryFile(library.path, &reason);
  if (!library.handle) {
    error = "cannot load the library: " + reason;
    return false;
  }
  library.getModule = reinterpret_cast<GetModuleFunction>(platform::FindEntry(library.handle, "GetModule"));
  if (!library.getModule) {
    error = "the library " + library.path + " has no entry point GetModule";
    platform::FreeLibraryFile(library.handle);
    library.handle = nullptr;
    return false;
  }
  return true;
}
