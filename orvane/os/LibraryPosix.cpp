#include <dlfcn.h>
#include <sys/stat.h>

#include "Os.h"

namespace Os {

const char* const LibraryArch = "linux64";
const char* const LibraryExtension = ".so";

bool FileExists(const std::string& Path) {
  struct stat Info;
  return ::stat(Path.c_str(), &Info) == 0 && S_ISREG(Info.st_mode);
}

void* LoadLibraryFile(const std::string& Path) { return dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* FindEntry(void* Library, const char* Name) { return dlsym(Library, Name); }

void FreeLibraryFile(void* Library) { dlclose(Library); }

}  // namespace Os
