// Transfers of a whole buffer on a system handle: a file descriptor on POSIX, a HANDLE on
// Windows, either carried in an intptr_t. Partial transfers go on; interrupted calls are
// retried. False when the system fails or, reading, the data ends first.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

bool WriteAll(intptr_t handle, const void* bytes, size_t count);
bool ReadAll(intptr_t handle, void* bytes, size_t count);

// The same for a Windows HANDLE, which is a pointer.
inline bool WriteAll(void* handle, const void* bytes, size_t count) {
  return WriteAll(reinterpret_cast<intptr_t>(handle), bytes, count);
}
inline bool ReadAll(void* handle, void* bytes, size_t count) {
  return ReadAll(reinterpret_cast<intptr_t>(handle), bytes, count);
}

}  // namespace platform
