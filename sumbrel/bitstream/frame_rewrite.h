// Reads a file frame by frame and writes it again, handing every frame record,
// ancillary bit run and literal byte from a reader to a writer exactly as the
// decoder does. It is how the bit-exact path is checked on real files.
#pragma once
#include <cstdio>

struct FrameCounts {
  long frames = 0, parsed = 0, raw = 0, literal = 0;
};

// Rewrites `in` (from its current position) into `out` and counts what it saw.
// The code tables must be built. False when a write to `out` failed.
bool RewriteFrames(FILE* in, FILE* out, FrameCounts& counts);
