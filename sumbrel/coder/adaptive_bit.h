#pragma once
// Adaptive bits: the probability record behind every context of the models.
//
// Routines take a rate schedule (see rate_schedules.h) and a limit c out of
// 32768; the update pulls p a fraction w / 2^15 of the way towards c / 2^15
// after a 1 and towards 1 - c / 2^15 after a 0, so c keeps p away from the ends.

#include <cstdint>

#include "coder/range_coder.h"

// The limit that the models call "shift s".
constexpr int LimitOfShift(int s) { return 32768 >> s; }

struct AdaptiveBit {
  uint16_t p = 0x4000;   // probability of a 0 in units of 2^-15, 1 .. 0x7FFF
  uint16_t state = 1;    // updates so far, capped by entry 0 of the schedule
};

inline void UpdateAdaptiveBit(AdaptiveBit& ab, int bit, const uint16_t* rate, int c) {
  // min() also caps a bit that was last used with a longer schedule.
  uint32_t state = uint32_t(ab.state) + 1;
  if (state > rate[0]) state = rate[0];
  ab.state = uint16_t(state);
  const int w = rate[state];
  int t = (c * w) >> 15;
  if (!bit) t = w - t;
  int p = t + (((0x8000 - w) * int(ab.p) + 0x7FFF) >> 15);
  if (p > 0x7FFF) p = 0x7FFF;
  if (p < 1) p = 1;
  ab.p = uint16_t(p);
}

// Codes one bit with ab and updates ab. `bit` is read when encoding and written
// when decoding; afterwards it holds the coded bit (0 or 1) in both modes.
template <class B>
inline int CodeBit(Coder& coder, AdaptiveBit& ab, B& bit, const uint16_t* rate, int c) {
  const int coded = CodeBitWithProbability(coder, int(bit != 0), ab.p);
  UpdateAdaptiveBit(ab, coded, rate, c);
  bit = B(coded);
  return coded;
}

enum CodeBitOpKind { kCodeAndUpdate = 0, kCodeOnly = 1, kUpdateOnly = 2 };

// op 0 codes and updates, op 1 codes with ab and leaves it for a later update,
// op 2 updates ab with a bit that was coded elsewhere (read in both modes).
template <class B>
inline int CodeBitOp(AdaptiveBit& ab, Coder& coder, B& bit, const uint16_t* rate, int c, int op) {
  int coded = int(bit != 0);
  if (op != kUpdateOnly) coded = CodeBitWithProbability(coder, coded, ab.p);
  if (op != kCodeOnly) UpdateAdaptiveBit(ab, coded, rate, c);
  bit = B(coded);
  return coded;
}
