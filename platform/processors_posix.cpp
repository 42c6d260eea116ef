#include "processors.h"

#include <sched.h>
#include <unistd.h>

namespace platform {

int32_t UsableProcessors() {
  // The affinity mask can be wider than the default cpu_set_t on very large machines, so grow
  // it until the kernel accepts it.
  for (int cpus = 1024; cpus <= (1 << 20); cpus *= 2) {
    cpu_set_t* set = CPU_ALLOC(cpus);
    if (set == nullptr) break;
    const size_t bytes = CPU_ALLOC_SIZE(cpus);
    CPU_ZERO_S(bytes, set);
    if (sched_getaffinity(0, bytes, set) == 0) {
      const int count = CPU_COUNT_S(bytes, set);
      CPU_FREE(set);
      return count > 0 ? count : 1;
    }
    CPU_FREE(set);
  }
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int32_t>(online) : 1;
}

}  // namespace platform
