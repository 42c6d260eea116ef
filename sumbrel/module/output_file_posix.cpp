#include "module/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace output_file_system {

FILE* CreateNew(const std::string& path, bool& exists) {
  // 0666 so that the finished file gets the permissions the user's umask gives new files.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  exists = fd < 0 && errno == EEXIST;
  if (fd < 0) return nullptr;
  FILE* file = fdopen(fd, "wb");
  if (!file) {
    close(fd);
    unlink(path.c_str());
  }
  return file;
}

bool Replace(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

void Remove(const std::string& path) { unlink(path.c_str()); }

}  // namespace output_file_system

bool SameFile(const char* a, const char* b) {
  if (std::strcmp(a, b) == 0) return true;
  struct stat sa, sb;
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool MayReplace(const char* path) {
  struct stat s;
  if (stat(path, &s) != 0) return true;  // nothing there yet
  return !S_ISDIR(s.st_mode) && access(path, W_OK) == 0;
}
