// Contexts of the part2_3_length model: a frame-level raw flag, and per granule and channel
// whether the length differs from the one the record implies, the sign of the difference and
// its magnitude.
#pragma once
#include <type_traits>

#include "coder/coder.h"

struct LengthContexts {
  AdaptiveBit rawMainData;
  AdaptiveBit mismatch[2][2];            // [granule][channel]
  AdaptiveBit sign[2][2];                // [granule][channel], 1 for a length below the expected
  AdaptiveBit magnitude[2][2][2][4096];  // [granule][channel][sign], 12-bit trees
};
static_assert(std::has_unique_object_representations_v<LengthContexts>, "no padding bytes");
