#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "mp3frames_os.h"

bool IsSameFile(FILE* in, const char* path) {
  struct stat inStat {}, outStat {};
  return fstat(fileno(in), &inStat) == 0 && stat(path, &outStat) == 0 &&
         inStat.st_dev == outStat.st_dev && inStat.st_ino == outStat.st_ino;
}

FILE* CreateTemporary(std::string& path) {
  const char* dir = std::getenv("TMPDIR");
  path = std::string(dir && *dir ? dir : "/tmp") + "/mp3frames.XXXXXX";
  const int fd = mkstemp(path.data());
  return fd >= 0 ? fdopen(fd, "w+b") : nullptr;
}
