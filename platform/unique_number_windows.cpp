#include <windows.h>

#include "unique_number.h"

namespace platform {

uint64_t TimeAndProcess() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return uint64_t(now.QuadPart) ^ uint64_t(GetCurrentProcessId()) << 40;
}

}  // namespace platform
