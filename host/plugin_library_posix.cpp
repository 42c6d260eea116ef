#include "plugin_library.h"

#include <dlfcn.h>

#include "program_path.h"

namespace {

const char kLibraryName[] = "libsumbrel.so";

}  // namespace

bool LoadPluginLibrary(PluginLibrary& library, std::string& error) {
  // The library sits beside the program, wherever the program was installed or called from.
  std::string folder;
  if (!platform::ProgramFolder(folder, error)) return false;
  library.path = folder + kLibraryName;
  library.handle = dlopen(library.path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library.handle) {
    const char* reason = dlerror();
    error = std::string("cannot load the library: ") + (reason ? reason : library.path.c_str());
    return false;
  }
  library.getModule = reinterpret_cast<GetModuleFunction>(dlsym(library.handle, "GetModule"));
  if (!library.getModule) {
    error = "the library " + library.path + " has no entry point GetModule";
    dlclose(library.handle);
    library.handle = nullptr;
    return false;
  }
  return true;
}
