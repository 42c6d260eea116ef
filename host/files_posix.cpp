#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "host_os.h"
#include "paths.h"
#include "system_error.h"

namespace HostOs {

namespace {

mode_t g_umask = 022;

FileStatus FromStat(const struct stat& status) {
  FileStatus result;
  result.type = S_ISREG(status.st_mode)   ? FileType::Regular
                : S_ISDIR(status.st_mode) ? FileType::Folder
                                          : FileType::Other;
  result.size = int64_t(status.st_size);
  result.identity = {uint64_t(status.st_dev), uint64_t(status.st_ino)};
  return result;
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

// After the rename: with --rm the new name must reach the disk before the input goes.
bool Placed(const std::string& output, bool durable) {
  if (durable) SyncFolder(platform::FolderOf(output));
  return true;
}

}  // namespace

std::string LastReason() { return platform::LastErrorText(); }

std::string DiskFullReason() { return platform::ErrorText(ENOSPC); }

bool OpenedStatus(const std::string& path, FileStatus& status, std::string& error) {
  // Non-blocking, so that a FIFO with such a name is refused rather than waited on.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error = "cannot open: " + LastReason();
    return false;
  }
  struct stat info {};
  const bool statted = fstat(fd, &info) == 0;
  if (!statted) error = "cannot read: " + LastReason();
  close(fd);
  if (statted) status = FromStat(info);
  return statted;
}

bool OwnStatus(const std::string& path, FileStatus& status) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return false;
  status = FromStat(info);
  return true;
}

bool Status(const std::string& path, FileStatus& status) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  status = FromStat(info);
  return true;
}

bool ReadFileStart(const std::string& path, unsigned char* bytes, size_t count, size_t& have,
                   int64_t& size, std::string& error) {
  have = 0;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open: " + LastReason();
    return false;
  }
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    error = S_ISDIR(status.st_mode) ? "is a folder" : "is not a regular file";
    close(fd);
    return false;
  }
  while (have < count) {
    const ssize_t n = read(fd, bytes + have, count - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = "cannot read: " + LastReason();
      close(fd);
      return false;
    }
    if (n == 0) break;
    have += size_t(n);
  }
  close(fd);
  size = int64_t(status.st_size);
  return true;
}

bool ResolvedFolder(const std::string& folder, std::string& resolved) {
  char* real = realpath(folder.c_str(), nullptr);
  if (!real) return false;
  resolved = real;
  free(real);
  return true;
}

std::string TemporaryBase() {
  const char* base = std::getenv("TMPDIR");
  return base && *base ? base : "/tmp";
}

bool MakeUniqueFolder(const std::string& prefix, std::string& folder, std::string& error) {
  std::string pattern = prefix + "XXXXXX";
  if (!mkdtemp(pattern.data())) {
    error = LastReason();
    return false;
  }
  folder = pattern;
  return true;
}

bool MakeUniqueFile(const std::string& prefix, const char* suffix, std::string& path,
                    std::string& error) {
  path = prefix + "XXXXXX" + suffix;
  const int fd = mkstemps(path.data(), int(std::strlen(suffix)));
  if (fd < 0) {
    error = LastReason();
    return false;
  }
  close(fd);
  return true;
}

void RemoveTree(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

bool RemoveFile(const std::string& path, std::string* reason) {
  if (unlink(path.c_str()) == 0) return true;
  if (reason) *reason = LastReason();
  return false;
}

int64_t FileSize(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 ? int64_t(status.st_size) : -1;
}

bool RoomFor(const std::string& folder, int64_t bytes) {
  struct statvfs status {};
  if (statvfs(folder.c_str(), &status) != 0) return false;
  return int64_t(status.f_bavail) * int64_t(status.f_frsize) >= bytes;
}

bool PlaceFile(const std::string& temp, const std::string& output,
               const std::string& attributesFrom, bool force, bool durable, std::string& error) {
  // As gzip, xz and zstd do: the output carries the input's time and permission bits, so that
  // compressing and restoring gives back the original's time. Set-id bits are not passed on.
  // Owner and group too where this process may set them; where the group cannot be kept,
  // its bits would speak for another group, so they are cleared.
  const int fd = open(temp.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot reopen the result: " + LastReason();
    return false;
  }
  struct stat input {};
  if (!attributesFrom.empty() && stat(attributesFrom.c_str(), &input) == 0) {
    mode_t mode = input.st_mode & 0777;
    if (fchown(fd, input.st_uid, input.st_gid) != 0 && fchown(fd, uid_t(-1), input.st_gid) != 0)
      mode &= ~mode_t(070);
    fchmod(fd, mode);
    const struct timespec times[2] = {input.st_atim, input.st_mtim};
    futimens(fd, times);
  } else {
    fchmod(fd, 0666 & ~g_umask);
  }
  // The input goes once the output is in place: the output must be on the disk first.
  const bool synced = !durable || fsync(fd) == 0;
  close(fd);
  if (!synced) {
    error = "cannot write the result to the disk: " + LastReason();
    return false;
  }
  if (force) {
    if (rename(temp.c_str(), output.c_str()) == 0) return Placed(output, durable);
  } else {
    if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, output.c_str(), RENAME_NOREPLACE) == 0)
      return Placed(output, durable);
    if (errno == EINVAL || errno == ENOSYS) {  // file systems without the no-replace rename
      if (link(temp.c_str(), output.c_str()) == 0) {
        unlink(temp.c_str());
        return Placed(output, durable);
      }
    }
  }
  error = errno == EEXIST ? output + " already exists (-f replaces it)"
                          : "cannot move the result to " + output + ": " + LastReason();
  return false;
}

bool NameForLibrary(const std::string& input, const char* extension, const std::string& folder,
                    std::string& name, std::string& made, std::string& error) {
  // Another name is handed to the library as a link of the form it takes, in a temporary
  // folder of the command's, since the output's folder may hold no links.
  char* target = realpath(input.c_str(), nullptr);
  if (!target) {
    error = "cannot find the input: " + LastReason();
    return false;
  }
  std::string link;
  bool ok = MakeTempIn(folder, platform::BaseOf(input), extension, link, error);
  if (ok) {
    // The temporary name is ours; a link takes its place.
    ok = unlink(link.c_str()) == 0 && symlink(target, link.c_str()) == 0;
    if (ok)
      name = made = link;
    else
      error = "cannot make a link for the library in " + folder + ": " + LastReason();
  }
  free(target);
  return ok;
}

void RememberCreationMask() {
  g_umask = umask(0);
  umask(g_umask);
}

}  // namespace HostOs
