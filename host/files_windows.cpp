#include <windows.h>

#include <cctype>
#include <cstring>
#include <filesystem>

#include "host_os.h"
#include "paths.h"
#include "system_error.h"
#include "unique_number.h"

namespace HostOs {

namespace {

std::string Describe(DWORD code) { return platform::ErrorText(code); }

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

FileStatus FromHandle(HANDLE file, const BY_HANDLE_FILE_INFORMATION& info) {
  FileStatus status;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    status.type = FileType::Folder;
  else if (GetFileType(file) == FILE_TYPE_DISK)
    status.type = FileType::Regular;
  status.size = int64_t(uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow);
  status.identity = {info.dwVolumeSerialNumber,
                     uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
  return status;
}

// Opens `path` for `access` (folders too) and describes it; false when it cannot be opened.
bool StatusThrough(const std::string& path, DWORD access, DWORD flags, FileStatus& status,
                   DWORD& error) {
  HANDLE file = CreateFileA(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(file, &info) != 0;
  if (ok)
    status = FromHandle(file, info);
  else
    error = GetLastError();
  CloseHandle(file);
  return ok;
}

// A name part that no other process of this or any other run is likely to pick.
// Six characters, as mkstemp fills in elsewhere.
std::string UniquePart() {
  uint64_t x = platform::UniqueNumber();
  static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string part;
  for (int i = 0; i < 6; ++i, x /= 36) part += digits[x % 36];
  return part;
}

bool Busy(DWORD code) { return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS; }

}  // namespace

std::string LastReason() { return Describe(GetLastError()); }

std::string DiskFullReason() { return Describe(ERROR_DISK_FULL); }

bool OpenedStatus(const std::string& path, FileStatus& status, std::string& error) {
  DWORD code = 0;
  if (StatusThrough(path, GENERIC_READ, 0, status, code)) return true;
  error = "cannot open: " + Describe(code);
  return false;
}

bool OwnStatus(const std::string& path, FileStatus& status) {
  DWORD code = 0;
  return StatusThrough(path, 0, FILE_FLAG_OPEN_REPARSE_POINT, status, code);
}

bool Status(const std::string& path, FileStatus& status) {
  DWORD code = 0;
  return StatusThrough(path, 0, 0, status, code);
}

bool ReadFileStart(const std::string& path, unsigned char* bytes, size_t count, size_t& have,
                   int64_t& size, std::string& error) {
  have = 0;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "cannot open: " + LastReason();
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  FileStatus status;
  if (GetFileInformationByHandle(file, &info)) status = FromHandle(file, info);
  if (status.type != FileType::Regular) {
    error = status.type == FileType::Folder ? "is a folder" : "is not a regular file";
    CloseHandle(file);
    return false;
  }
  while (have < count) {
    DWORD n = 0;
    if (!ReadFile(file, bytes + have, DWORD(count - have), &n, nullptr)) {
      error = "cannot read: " + LastReason();
      CloseHandle(file);
      return false;
    }
    if (n == 0) break;
    have += n;
  }
  CloseHandle(file);
  size = status.size;
  return true;
}

bool ResolvedFolder(const std::string& folder, std::string& resolved) {
  char buffer[MAX_PATH * 4];
  const DWORD n = GetFullPathNameA(folder.c_str(), sizeof buffer, buffer, nullptr);
  if (n == 0 || n >= sizeof buffer) return false;
  const DWORD attributes = GetFileAttributesA(buffer);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  resolved = buffer;
  // Names differ only in case on the same file here.
  for (char& c : resolved) c = char(std::tolower(static_cast<unsigned char>(c)));
  return true;
}

std::string TemporaryBase() {
  char buffer[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof buffer, buffer);
  std::string base = n && n <= MAX_PATH ? std::string(buffer, n) : ".";
  while (base.size() > 3 && (base.back() == '\\' || base.back() == '/')) base.pop_back();
  return base;
}

bool MakeUniqueFolder(const std::string& prefix, std::string& folder, std::string& error) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = prefix + UniquePart();
    if (CreateDirectoryA(name.c_str(), nullptr)) {
      folder = name;
      return true;
    }
    if (!Busy(GetLastError())) break;
  }
  error = LastReason();
  return false;
}

bool MakeUniqueFile(const std::string& prefix, const char* suffix, std::string& path,
                    std::string& error) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = prefix + UniquePart() + suffix;
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      path = name;
      return true;
    }
    if (!Busy(GetLastError())) break;
  }
  error = LastReason();
  return false;
}

void RemoveTree(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

bool RemoveFile(const std::string& path, std::string* reason) {
  if (DeleteFileA(path.c_str())) return true;
  if (reason) *reason = LastReason();
  return false;
}

int64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return int64_t(uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
}

bool RoomFor(const std::string& folder, int64_t bytes) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) return false;
  return available.QuadPart >= uint64_t(bytes);
}

bool PlaceFile(const std::string& temp, const std::string& output,
               const std::string& attributesFrom, bool force, bool durable, std::string& error) {
  // As gzip, xz and zstd do: the output carries the input's times and read-only attribute, so
  // that compressing and restoring gives back the original's time.
  HANDLE file = CreateFileA(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "cannot reopen the result: " + LastReason();
    return false;
  }
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  if (!attributesFrom.empty()) {
    HANDLE input = CreateFileA(attributesFrom.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (input != INVALID_HANDLE_VALUE) {
      FILETIME created, accessed, written;
      if (GetFileTime(input, &created, &accessed, &written))
        SetFileTime(file, nullptr, &accessed, &written);
      BY_HANDLE_FILE_INFORMATION info;
      if (GetFileInformationByHandle(input, &info)) attributes = info.dwFileAttributes;
      CloseHandle(input);
    }
  }
  // The input goes once the output is in place: the output must be on the disk first.
  const bool synced = !durable || FlushFileBuffers(file);
  const DWORD syncError = GetLastError();
  CloseHandle(file);
  if (!synced) {
    error = "cannot write the result to the disk: " + Describe(syncError);
    return false;
  }
  // Without MOVEFILE_REPLACE_EXISTING the move fails when the output exists: nothing that
  // appeared in the meantime is replaced.
  const DWORD flags = (force ? MOVEFILE_REPLACE_EXISTING : 0) | (durable ? MOVEFILE_WRITE_THROUGH : 0);
  if (MoveFileExA(temp.c_str(), output.c_str(), flags)) {
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
      SetFileAttributesA(output.c_str(), FILE_ATTRIBUTE_READONLY);
    return true;
  }
  const DWORD code = GetLastError();
  error = Busy(code) ? output + " already exists (-f replaces it)"
                     : "cannot move the result to " + output + ": " + Describe(code);
  return false;
}

bool NameForLibrary(const std::string& input, const char* extension, const std::string& folder,
                    std::string& name, std::string& made, std::string& error) {
  // Names that differ only in case lead to the same file here, so a name that ends in the
  // extension in another case only needs it written in lower case.
  const size_t length = std::strlen(extension);
  FileStatus given, lowered;
  if (input.size() > length && Status(input, given)) {
    const std::string candidate = input.substr(0, input.size() - length) + extension;
    if (Status(candidate, lowered) && lowered.identity == given.identity) {
      name = candidate;
      return true;
    }
  }
  // Any other name: a hard link of the right form, or where none can be made (another
  // volume), a copy.
  std::string link;
  if (!MakeTempIn(folder, platform::BaseOf(input), extension, link, error)) return false;
  DeleteFileA(link.c_str());
  if (CreateHardLinkA(link.c_str(), input.c_str(), nullptr) ||
      CopyFileA(input.c_str(), link.c_str(), TRUE)) {
    name = made = link;
    return true;
  }
  error = "cannot make a copy for the library in " + folder + ": " + LastReason();
  return false;
}

void RememberCreationMask() {}

}  // namespace HostOs
