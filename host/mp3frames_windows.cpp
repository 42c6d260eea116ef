#include <windows.h>
#include <io.h>

#include "mp3frames_os.h"

namespace {
bool Identity(HANDLE file, BY_HANDLE_FILE_INFORMATION& info) {
  return file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info) != 0;
}
}  // namespace

bool IsSameFile(FILE* in, const char* path) {
  // The volume and file index name a file whatever path leads to it (stat has no inode here).
  HANDLE out = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION a, b;
  const bool same = Identity(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(in))), a) && Identity(out, b) &&
                    a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
                    a.nFileIndexLow == b.nFileIndexLow;
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  return same;
}

FILE* CreateTemporary(std::string& path) {
  char folder[MAX_PATH + 1], name[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof folder, folder);
  if (n == 0 || n > MAX_PATH || GetTempFileNameA(folder, "mp3", 0, name) == 0) return nullptr;
  path = name;
  return std::fopen(name, "w+b");
}
