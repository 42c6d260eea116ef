// The second model's refinement of a decision: beside the two-stage bit's probability, counters
// in contexts the first model cannot see (the other channel of the granule, the neighbours of
// the previous granule, the local level) give predictions of their own, and a small logistic
// mixer, chosen by a context, weighs them.
//
// Integers only, so that every system (the 32-bit plug-in included) codes the same bytes.
// Probabilities here are of a 1, in 12 bits; the stretch domain is log-odds × 256.
#pragma once
#include <array>
#include <cstdint>

namespace mixing {

// 4096 / (1 + e^-x) at x = -8, -7.5, ..., 8, the points that Squash interpolates between.
inline constexpr int kLogistic[33] = {1,    2,    3,    6,    10,   16,   27,   45,   73,   120,  194,
                                      310,  488,  747,  1101, 1546, 2047, 2549, 2994, 3348, 3607, 3785,
                                      3901, 3975, 4022, 4050, 4068, 4079, 4085, 4089, 4092, 4093, 4094};

// Log-odds × 256 (-2047 .. 2047) to a 12-bit probability.
constexpr int Squash(int d) {
  if (d > 2047) return 4095;
  if (d < -2047) return 1;
  const int w = d & 127;
  const int i = (d >> 7) + 16;
  return (kLogistic[i] * (128 - w) + kLogistic[i + 1] * w + 64) >> 7;
}

// The inverse of Squash on 12-bit probabilities, by table.
inline constexpr auto kStretch = [] {
  std::array<int16_t, 4096> table{};
  int pi = 0;
  for (int x = -2047; x <= 2047; ++x) {
    const int v = Squash(x);
    for (int j = pi; j <= v; ++j) table[j] = int16_t(x);
    pi = v + 1;
  }
  for (int j = pi; j < 4096; ++j) table[j] = 2047;
  return table;
}();

inline int Stretch(int p12) { return kStretch[p12]; }

// Squash over its whole domain by table: one load on the path to the coder.
inline constexpr auto kSquash = [] {
  std::array<int16_t, 4095> table{};
  for (int d = -2047; d <= 2047; ++d) table[d + 2047] = int16_t(Squash(d));
  return table;
}();

// Squash of a value already within -2047 .. 2047.
inline int SquashInRange(int d) { return kSquash[d + 2047]; }

// 65536 / (n + 1): a counter's rate after n bits, without a division per decision.
inline constexpr auto kReciprocal = [] {
  std::array<int32_t, 1024> table{};
  for (int n = 0; n < 1024; ++n) table[n] = 65536 / (n + 1);
  return table;
}();

// A probability of a 1 in 16 bits whose rate falls from 1/2 to 1/(limit + 1) as it sees bits;
// limit < 1024.
struct Counter {
  uint16_t p = 32768;
  uint16_t n = 0;
  int P12() const { return p >> 4; }
  void Update(int bit, int limit) {
    const int target = bit ? 65535 : 0;
    if (n < limit) ++n;
    p = uint16_t(int(p) + (((target - int(p)) * kReciprocal[n]) >> 16));
  }
};

// A mixer of kInputs stretched predictions; weights in 16.16.
template <int kInputs>
struct MixerWeights {
  int32_t w[kInputs];
};

}  // namespace mixing
