#include "module/output_file.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

// Names need only differ from files already there: _O_EXCL settles collisions.
std::string CandidateName(const std::string& folder) {
  static std::atomic<uint64_t> counter{0};
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  uint64_t x = uint64_t(now.QuadPart) ^ uint64_t(GetCurrentProcessId()) << 40 ^
               counter.fetch_add(1) * 0x9E3779B97F4A7C15ull;
  x ^= x >> 29;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 32;
  char suffix[17];
  for (int i = 0; i < 16; ++i) suffix[i] = "0123456789abcdef"[(x >> (4 * i)) & 15];
  suffix[16] = 0;
  return folder + "\\.sumbrel-" + suffix + ".part";
}

// The volume and file index name a file whatever path leads to it.
bool FileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  return ok;
}

}  // namespace

bool PendingOutput::Create(const char* finalPath) {
  Discard();
  finalPath_ = finalPath;
  const std::string folder = FolderOf(finalPath_);
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string candidate = CandidateName(folder);
    const int fd = _open(candidate.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                         _S_IREAD | _S_IWRITE);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    tempPath_ = std::move(candidate);
    file = _fdopen(fd, "wb");
    if (!file) {
      _close(fd);
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
  // rename() refuses an existing target on Windows; this replaces it in one step.
  ok = ok && MoveFileExA(tempPath_.c_str(), finalPath_.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  if (ok)
    tempPath_.clear();
  else
    Discard();
  return ok;
}

void PendingOutput::Discard() {
  if (file) std::fclose(file);
  file = nullptr;
  if (!tempPath_.empty()) DeleteFileA(tempPath_.c_str());
  tempPath_.clear();
}

bool SameFile(const char* a, const char* b) {
  if (std::strcmp(a, b) == 0) return true;
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return FileIdentity(a, ia) && FileIdentity(b, ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool MayReplace(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;  // nothing there yet
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}
