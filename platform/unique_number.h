// Numbers for the names of temporary files: each call gives another, and two processes at the
// same moment give others still. Unpredictable enough that names rarely meet; creating the
// file as new settles the rare collision.
#pragma once
#include <cstdint>

namespace platform {

uint64_t UniqueNumber();

// The time and the process, from the system (unique_number_*.cpp).
uint64_t TimeAndProcess();

}  // namespace platform
