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
  // An older library lacks it; what it can still do is decided per job.
  library.getModuleOfFormat = reinterpret_cast<GetModuleOfFormatFunction>(
      platform::FindEntry(library.handle, "GetModuleOfFormat"));
  return true;
}

std::string TooOldForFormat2(const PluginLibrary& library) {
  return "the library " + library.path +
         " is too old for format 2 and for test: it has no entry point GetModuleOfFormat "
         "(compress --format 1 and restoring format 1 files still work with it)";
}
