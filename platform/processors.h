// The number of processors this process may run on: its affinity, so that `taskset -c 0` on
// Linux or `start /affinity 1` on Windows narrows it. At least 1.
#pragma once
#include <cstdint>

namespace platform {

int32_t UsableProcessors();

}  // namespace platform
