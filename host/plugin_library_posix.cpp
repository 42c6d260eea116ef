#include "plugin_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const char kLibraryName[] = "libsumbrel.so";

// The library sits beside the program, wherever the program was installed or called from.
bool ProgramFolder(std::string& folder, std::string& error) {
  std::string buffer(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || size_t(length) >= buffer.size()) {
    error = std::string("cannot find the program's folder through /proc/self/exe: ") +
            (length < 0 ? std::strerror(errno) : "path too long");
    return false;
  }
  buffer.resize(size_t(length));
  folder = buffer.substr(0, buffer.rfind('/') + 1);
  return true;
}

}  // namespace

bool LoadPluginLibrary(PluginLibrary& library, std::string& error) {
  std::string folder;
  if (!ProgramFolder(folder, error)) return false;
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
