// The two-stage adaptive bit of the spectral model: a primary adaptive bit gives a
// probability, and a map of K interpolation nodes turns that probability into the one the
// bit is coded with. Both stages adapt after every bit, so a context that is seen rarely
// (the primary) is corrected by one that is seen often (the map).
#pragma once
#include <cstdint>

#include "coder/coder.h"

// Node values are probabilities of a 0 plus 8192, so that an overshoot below 0 still fits
// the unsigned field.
template <int K>
struct MapRecord {
  static_assert(K >= 2 && K <= 16);
  // Each node's value sits beside its update count, so that the two nodes and the count one
  // decision reads and writes lie within six bytes, almost always in one cache line.
  struct Node {
    uint16_t value;
    uint16_t count;  // updates of this node, the index into the map rate
  };
  // No record of the outcomes coded with the map is kept: no context reads one, and its
  // store would cost every decision.
  Node nodes[K];

  uint16_t value(int i) const { return nodes[i].value; }
  uint16_t count(int i) const { return nodes[i].count; }

  // Copies a record built once by the compiler: the sub-models hold thousands of maps.
  MapRecord() : MapRecord(kInitial) {}
  MapRecord(const MapRecord&) = default;
  MapRecord& operator=(const MapRecord&) = default;

 private:
  struct Build {};
  constexpr explicit MapRecord(Build) : nodes{} {
    for (int i = 0; i < K; ++i) {
      nodes[i].count = 50;
      // Node i of K lies at i / (K - 1) of the way from 0 to 32768, rounded down:
      // 10 nodes start 8192, 11832, 15473, ...
      nodes[i].value = uint16_t(8192 + i * 32768 / (K - 1));
    }
  }
  static const MapRecord kInitial;
};

template <int K>
inline constexpr MapRecord<K> MapRecord<K>::kInitial{MapRecord<K>::Build{}};

// What the first model codes with: the map's probability as it is.
struct NoRefinement {
  [[gnu::always_inline]] int Probability(int q) const { return q; }
  [[gnu::always_inline]] void Update(int) const {}
};

// Codes `bit` (read when encoding) with the primary adaptive bit refined through `map`, and
// adapts both. Returns the coded bit in both directions. `coder` is the coder record or a
// LocalCoder over it. `refinement` may turn the map's probability of a 0 into the one coded
// with (Probability) and learns the coded bit (Update).
template <int K, class C, class Refinement = NoRefinement>
[[gnu::always_inline]] inline int CodeTwoStageBit(C& coder, AdaptiveBit& primary, const uint16_t* primaryRate,
                                                  int limit, MapRecord<K>& map, const uint16_t* mapRate,
                                                  int bit, Refinement&& refinement = Refinement{}) {
  // Interpolate between the two nodes around the primary probability.
  const int s = int(primary.p) * (K - 1);
  const int j = s >> 15;
  const int f = s & 32767;
  typename MapRecord<K>::Node* const node = map.nodes + j;
  const int low = node[0].value, high = node[1].value;
  // (high × f + (32768 - f) × low) >> 15, with the multiple of 2^15 taken out of the shift;
  // |f × (high - low)| stays below 2^31.
  const int v = low + ((f * (high - low)) >> 15) - 8192;
  int q, e;
  if (v <= 0) {
    q = 1;
    e = 0;
  } else if (v >= 32768) {
    q = 32767;
    e = 32768;
  } else {
    q = e = v;
  }

  const int b = CodeBitWithProbability(coder, bit, uint32_t(refinement.Probability(q)));
  refinement.Update(b);

  // Move both nodes by the same amount, so that the map's output at this point becomes u.
  // The rate is taken before the count advances.
  uint16_t& count = node[0].count;
  const int r = mapRate[count];
  const int top = mapRate[0];
  count = uint16_t(count + 1 < top ? count + 1 : top);
  const int t = (e * (32768 - r)) >> 15;
  const int u = b ? t : t + r;
  const int g = (f * (low - high) + 32767) >> 15;
  // Both new values are computed from the old node[j], and stored as unsigned 16-bit
  // values: an update that lands below 0 wraps (-1 stores 65535).
  node[0].value = uint16_t(u + g + 8192);
  node[1].value = uint16_t(u + high + g - low + 8192);

  UpdateAdaptiveBit(primary, b, primaryRate, limit);
  return b;
}
