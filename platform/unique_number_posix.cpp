#include <unistd.h>

#include <chrono>

#include "unique_number.h"

namespace platform {

uint64_t TimeAndProcess() {
  return uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^ uint64_t(getpid()) << 40;
}

}  // namespace platform
