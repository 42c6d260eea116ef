// Contexts of the main-data layout: the ancillary gap in front of a frame and its
// main_data_begin.
#pragma once
#include "coder/coder.h"

struct LayoutContexts {
  AdaptiveBit gapFlag;            // the gap equals freeBits
  AdaptiveBit gapBytes[2048];     // byte part of a gap otherwise, 11-bit tree, bound 1954
  // [byte index, at most 127][bit in the byte, 0 = first][ancillaryTotal & 1][last 7 gap bits]
  AdaptiveBit gapBits[128][8][2][128];
  AdaptiveBit mainDataBeginFlag;  // main_data_begin differs from its prediction
  AdaptiveBit mainDataBegin[512];
};
