#include <dlfcn.h>

#include "library.h"

namespace platform {

const char* const kLibraryPrefix = "lib";
const char* const kLibraryExtension = ".so";

void* LoadLibraryFile(const std::string& path, std::string* reason) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library && reason) {
    const char* text = dlerror();
    *reason = text ? text : path;
  }
  return library;
}

void* FindEntry(void* library, const char* name) { return dlsym(library, name); }

void FreeLibraryFile(void* library) { dlclose(library); }

}  // namespace platform
