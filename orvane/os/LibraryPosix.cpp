#include <sys/stat.h>

#include "Os.h"

namespace Os {

const char* const LibraryArch = "linux64";

bool FileExists(const std::string& Path) {
  struct stat Info;
  return ::stat(Path.c_str(), &Info) == 0 && S_ISREG(Info.st_mode);
}

}  // namespace Os
