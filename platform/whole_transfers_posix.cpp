#include <unistd.h>

#include <cerrno>

#include "whole_transfers.h"

namespace platform {

bool WriteAll(intptr_t handle, const void* bytes, size_t count) {
  const char* p = static_cast<const char*>(bytes);
  while (count > 0) {
    const ssize_t n = write(int(handle), p, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    count -= size_t(n);
  }
  return true;
}

bool ReadAll(intptr_t handle, void* bytes, size_t count) {
  char* p = static_cast<char*>(bytes);
  while (count > 0) {
    const ssize_t n = read(int(handle), p, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    count -= size_t(n);
  }
  return true;
}

}  // namespace platform
