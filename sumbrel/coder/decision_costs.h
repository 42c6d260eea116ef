// Where the coded bits go, by class of decision, for the benchmarks: a build that defines
// SUMBREL_DECISION_COSTS adds the cost of every coded bit (-log2 of its probability) to the
// class the model last named; any other build compiles the naming away.
#pragma once
#include <cstdint>

namespace decision_costs {

enum Class {
  kHeader,        // header and side information
  kScaleFactors,
  kExtents,       // extents, big_values, region counts, table selection
  kZeroFlags,
  kSigns,
  kOneFlags,      // magnitude-1 flags
  kMagnitudes,    // 2 .. 8, the escape, the tree of 9 .. 511 and raw bits
  kLengths,       // part2_3_length
  kLayout,        // gaps and main_data_begin
  kOther,         // the driver's escape bits and literal bytes
  kClasses
};

inline constexpr const char* kNames[kClasses] = {"header+side", "scale factors", "extents+tables",
                                                 "zero flags",  "signs",         "magnitude-1 flags",
                                                 "magnitudes 2+", "part2_3_length", "gaps+layout",
                                                 "other"};

#ifdef SUMBREL_DECISION_COSTS
struct Totals {
  double bits[kClasses];
  uint64_t decisions[kClasses];
};
inline Totals totals{};
inline int current = kOther;
inline void Name(int c) { current = c; }
// `p` is the probability of a 0 in units of 2^-15.
void Add(int bit, uint32_t p);
#else
inline void Name(int) {}
inline void Add(int, uint32_t) {}
#endif

}  // namespace decision_costs
