#include <windows.h>

#include "processors.h"

namespace platform {

int32_t UsableProcessors() {
  // The process's affinity mask, as start /affinity or a job object narrows it; the mask covers
  // the processor group the process runs in.
  DWORD_PTR process = 0, system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
    const int count = __builtin_popcountll(static_cast<unsigned long long>(process));
    if (count > 0) return count;
  }
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? static_cast<int32_t>(info.dwNumberOfProcessors) : 1;
}

}  // namespace platform
