#include "file_update.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "paths.h"
#include "system_error.h"
#include "whole_transfers.h"

namespace {

std::string SystemError(const char* what) { return std::string(what) + ": " + platform::LastErrorText(); }

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& contents) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    close(fd);
    return false;
  }
  contents.clear();
  if (S_ISREG(info.st_mode) && info.st_size > 0) contents.reserve(size_t(info.st_size));
  // Read to the end rather than trusting the reported size: it may change
  // underneath us, or be 0 for special files.
  char chunk[1 << 16];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      close(fd);
      return false;
    }
    if (got == 0) break;
    contents.append(chunk, size_t(got));
  }
  close(fd);
  return true;
}

bool ReplaceFile(const std::string& path, const std::string& contents, std::string& error) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) {
    error = SystemError("cannot resolve path");
    return false;
  }
  const std::string target = resolved;
  struct stat original;
  if (stat(target.c_str(), &original) != 0) {
    error = SystemError("cannot inspect file");
    return false;
  }

  std::string temporary = platform::FolderOf(target) + "/.fennick-XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    error = SystemError("cannot create temporary file");
    return false;
  }
  auto fail = [&](const char* what) {
    error = SystemError(what);
    close(fd);
    unlink(temporary.c_str());
    return false;
  };

  if (!platform::WriteAll(fd, contents.data(), contents.size())) return fail("cannot write");
  // Keep the owner where we may set it (as root); a failure only means the
  // file now belongs to us, which an ordinary user's rewrite does anyway.
  if (fchown(fd, original.st_uid, original.st_gid) != 0) { /* best effort */ }
  if (fchmod(fd, original.st_mode & 07777) != 0) return fail("cannot set permissions");
  if (fsync(fd) != 0) return fail("cannot flush");
  if (close(fd) != 0) {
    error = SystemError("cannot close");
    unlink(temporary.c_str());
    return false;
  }
  if (rename(temporary.c_str(), target.c_str()) != 0) {
    error = SystemError("cannot replace file");
    unlink(temporary.c_str());
    return false;
  }
  return true;
}
