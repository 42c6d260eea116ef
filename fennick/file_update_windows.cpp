#include "file_update.h"

#include <windows.h>
// The system's own ReplaceFile is a macro that would rename ours.
#undef ReplaceFile

#include <cstdint>

#include "paths.h"
#include "system_error.h"
#include "whole_transfers.h"

namespace {

std::string SystemError(const char* what) { return std::string(what) + ": " + platform::LastErrorText(); }

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& contents) {
  // Folders cannot be opened this way, so they fail here as on other systems.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  contents.clear();
  LARGE_INTEGER size;
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0 &&
      static_cast<uint64_t>(size.QuadPart) < contents.max_size())
    contents.reserve(static_cast<size_t>(size.QuadPart));
  // Read to the end rather than trusting the size: the file may grow meanwhile.
  char chunk[1 << 16];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
      CloseHandle(file);
      return false;
    }
    if (got == 0) break;
    contents.append(chunk, got);
  }
  CloseHandle(file);
  return true;
}

bool ReplaceFile(const std::string& path, const std::string& contents, std::string& error) {
  char full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) {
    error = SystemError("cannot resolve path");
    return false;
  }
  const std::string target(full, length);
  const DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    error = SystemError("cannot inspect file");
    return false;
  }

  // Creates an empty file of a name that nothing else uses, in the same folder
  // so that the final move stays within one volume.
  char temporary[MAX_PATH];
  if (GetTempFileNameA(platform::FolderOf(target).c_str(), "fnk", 0, temporary) == 0) {
    error = SystemError("cannot create temporary file");
    return false;
  }
  auto fail = [&](const char* what, HANDLE open) {
    error = SystemError(what);
    if (open != INVALID_HANDLE_VALUE) CloseHandle(open);
    DeleteFileA(temporary);
    return false;
  };

  HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return fail("cannot open temporary file", file);
  if (!platform::WriteAll(file, contents.data(), contents.size())) return fail("cannot write", file);
  if (!FlushFileBuffers(file)) return fail("cannot flush", file);
  if (!CloseHandle(file)) return fail("cannot close", INVALID_HANDLE_VALUE);
  // The file keeps its attributes (hidden, system, archive, ...). Read-only
  // is left to the move, which refuses to replace such a file, as an
  // ordinary write to it would fail.
  const DWORD kept = attributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                   FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  if (!SetFileAttributesA(temporary, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL))
    return fail("cannot set attributes", INVALID_HANDLE_VALUE);
  // rename() fails on Windows when the target exists; this replaces it in one step.
  if (!MoveFileExA(temporary, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return fail("cannot replace file", INVALID_HANDLE_VALUE);
  return true;
}
