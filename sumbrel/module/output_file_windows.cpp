#include "module/output_file.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

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

namespace output_file_system {

FILE* CreateNew(const std::string& path, bool& exists) {
  const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                       _S_IREAD | _S_IWRITE);
  exists = fd < 0 && errno == EEXIST;
  if (fd < 0) return nullptr;
  FILE* file = _fdopen(fd, "wb");
  if (!file) {
    _close(fd);
    DeleteFileA(path.c_str());
  }
  return file;
}

// rename() refuses an existing target on Windows; this replaces it in one step.
bool Replace(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

void Remove(const std::string& path) { DeleteFileA(path.c_str()); }

}  // namespace output_file_system

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
