#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Os.h"

namespace Os {

const char* const LibraryArch = "linux64";
const char* const LibraryExtension = ".so";

std::string ProgramDirectory() {
  std::string Full(4096, '\0');
  const ssize_t N = ::readlink("/proc/self/exe", Full.data(), Full.size());
  if (N <= 0) return "./";
  Full.resize(static_cast<size_t>(N));
  return Full.substr(0, Full.find_last_of('/') + 1);
}

bool FileExists(const std::string& Path) {
  struct stat Info;
  return ::stat(Path.c_str(), &Info) == 0 && S_ISREG(Info.st_mode);
}

void* LoadLibraryFile(const std::string& Path) { return dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* FindEntry(void* Library, const char* Name) { return dlsym(Library, Name); }

void FreeLibraryFile(void* Library) { dlclose(Library); }

}  // namespace Os
