#include <windows.h>

#include "whole_transfers.h"

namespace platform {

namespace {

// One call moves at most this much: its count is 32-bit.
constexpr size_t kPiece = size_t(1) << 30;

}  // namespace

bool WriteAll(intptr_t handle, const void* bytes, size_t count) {
  const char* p = static_cast<const char*>(bytes);
  while (count > 0) {
    DWORD n = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(handle), p, DWORD(count < kPiece ? count : kPiece), &n, nullptr) ||
        n == 0)
      return false;
    p += n;
    count -= n;
  }
  return true;
}

bool ReadAll(intptr_t handle, void* bytes, size_t count) {
  char* p = static_cast<char*>(bytes);
  while (count > 0) {
    DWORD n = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle), p, DWORD(count < kPiece ? count : kPiece), &n, nullptr) ||
        n == 0)
      return false;
    p += n;
    count -= n;
  }
  return true;
}

}  // namespace platform
