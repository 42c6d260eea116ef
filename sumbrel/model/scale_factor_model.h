// Contexts of the scale-factor models: 4-bit trees for MPEG-1 scale factors by block kind,
// and 7-bit trees for MPEG-2/2.5 scale factors by their position in the channel's list.
#pragma once
#include <type_traits>

#include "coder/coder.h"

struct ScaleFactorContexts {
  // MPEG-1 long bands: [slen mod 4][value of the previously coded band][channel][band].
  // slen 4 and slen 0 share index 0, and slen 0 never codes, so the widths stay apart.
  AdaptiveBit longBands[4][16][2][21][16];
  AdaptiveBit mixedLongBands[2][8][16];     // [channel][band 0-7]
  AdaptiveBit shortBands[16][2][12][16];    // [scalefac_compress][channel][band], windows share
  // MPEG-2/2.5: [position in the channel's list, counted from 1], shared by both channels.
  AdaptiveBit lsf[39][128];
};
static_assert(std::has_unique_object_representations_v<ScaleFactorContexts>, "no padding bytes");
