#include "module/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Names need only differ from files already there: O_EXCL settles collisions.
std::string CandidateName(const std::string& folder) {
  static std::atomic<uint64_t> counter{0};
  uint64_t x = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
               uint64_t(getpid()) << 40 ^ counter.fetch_add(1) * 0x9E3779B97F4A7C15ull;
  x ^= x >> 29;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 32;
  char suffix[17];
  for (int i = 0; i < 16; ++i) suffix[i] = "0123456789abcdef"[(x >> (4 * i)) & 15];
  suffix[16] = 0;
  return folder + "/.sumbrel-" + suffix + ".part";
}

}  // namespace

bool PendingOutput::Create(const char* finalPath) {
  Discard();
  finalPath_ = finalPath;
  const std::string folder = FolderOf(finalPath_);
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string candidate = CandidateName(folder);
    // 0666 so that the finished file gets the permissions the user's umask gives new files.
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    tempPath_ = std::move(candidate);
    file = fdopen(fd, "wb");
    if (!file) {
      close(fd);
      Discard();
      return false;
    }
    return true;
  }
  return false;
}

bool PendingOutput::Reopen() {
  if (tempPath_.empty()) return false;
  if (file) std::fclose(file);
  file = std::fopen(tempPath_.c_str(), "wb");
  return file != nullptr;
}

bool PendingOutput::Commit() {
  if (!file) return false;
  bool ok = std::fflush(file) == 0 && !std::ferror(file);
  ok &= std::fclose(file) == 0;
  file = nullptr;
  ok = ok && std::rename(tempPath_.c_str(), finalPath_.c_str()) == 0;
  if (ok)
    tempPath_.clear();
  else
    Discard();
  return ok;
}

void PendingOutput::Discard() {
  if (file) std::fclose(file);
  file = nullptr;
  if (!tempPath_.empty()) unlink(tempPath_.c_str());
  tempPath_.clear();
}

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
