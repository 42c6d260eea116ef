#pragma once
#include <cstdint>

// The number of processors this process may run on (its CPU affinity), so that
// `taskset` narrows it; at least 1.
int32_t ProcessorCount();
