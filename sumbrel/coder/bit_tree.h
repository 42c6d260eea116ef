#pragma once
// Values coded most significant bit first through a binary tree of contexts,
// with exclusive bounds lo < v < hi. A bit that the bounds already decide is
// neither coded nor used to update anything, so narrow ranges cost nothing.
// Node numbers are those of a tree with root 1 and children 2k and 2k + 1; a
// node table of 2^N entries leaves entry 0 unused.

#include <cstdint>

#include "coder/adaptive_bit.h"
#include "coder/range_coder.h"

// Walks the N bit positions of value, handing each undecided one to
// codeNodeBit(node, bit) -> coded bit, and returns the value it assembled. When
// encoding a value outside (lo, hi) the forced bits replace its own, so the
// result is what both sides end up with. Also the skeleton for trees whose
// nodes are not plain adaptive bits.
// Always inlined, so that a coder state the caller keeps in registers stays there.
template <int N, class CodeNodeBit>
[[gnu::always_inline]] inline int CodeBoundedBits(int value, int lo, int hi, CodeNodeBit&& codeNodeBit) {
  static_assert(N >= 1 && N <= 24);
  int bits = 0;
  int node = 1;  // equals (bits + 2^N) >> (n + 1), kept by doubling instead of shifting
  for (int n = N - 1; n >= 0; --n) {
    const int withOne = bits + (1 << n);
    int bit;
    if (withOne - 1 <= lo)
      bit = 1;  // with a 0 here no value could exceed lo
    else if (withOne >= hi)
      bit = 0;
    else
      bit = codeNodeBit(node, (value >> n) & 1);
    bits |= bit << n;
    node = 2 * node + bit;
  }
  return bits;
}

// `value` is read when encoding and written when decoding; afterwards it holds
// the coded value in both modes.
template <int N, class V>
inline int CodeTree(AdaptiveBit* nodes, Coder& coder, V& value, int lo, int hi, const uint16_t* rate,
                    int c) {
  const int coded = CodeBoundedBits<N>(int(value), lo, hi, [&](int node, int bit) {
    AdaptiveBit& ab = nodes[node];
    const int b = CodeBitWithProbability(coder, bit, ab.p);
    UpdateAdaptiveBit(ab, b, rate, c);
    return b;
  });
  value = V(coded);
  return coded;
}

// The tree widths the models use by name.
template <class V>
inline int CodeTree2(AdaptiveBit* nodes, Coder& coder, V& value, int lo, int hi, const uint16_t* rate, int c) {
  return CodeTree<2>(nodes, coder, value, lo, hi, rate, c);
}
template <class V>
inline int CodeTree3(AdaptiveBit* nodes, Coder& coder, V& value, int lo, int hi, const uint16_t* rate, int c) {
  return CodeTree<3>(nodes, coder, value, lo, hi, rate, c);
}
template <class V>
inline int CodeTree4(AdaptiveBit* nodes, Coder& coder, V& value, int lo, int hi, const uint16_t* rate, int c) {
  return CodeTree<4>(nodes, coder, value, lo, hi, rate, c);
}
template <class V>
inline int CodeTree5(AdaptiveBit* nodes, Coder& coder, V& value, int lo, int hi, const uint16_t* rate, int c) {
  return CodeTree<5>(nodes, coder, value, lo, hi, rate, c);
}
template <class V>
inline int CodeTree6(AdaptiveBit* nodes, Coder& coder, V& value, int lo, int hi, const uint16_t* rate, int c) {
  return CodeTree<6>(nodes, coder, value, lo, hi, rate, c);
}
template <class V>
inline int CodeTree7(AdaptiveBit* nodes, Coder& coder, V& value, int lo, int hi, const uint16_t* rate, int c) {
  return CodeTree<7>(nodes, coder, value, lo, hi, rate, c);
}
template <class V>
inline int CodeTree8(AdaptiveBit* nodes, Coder& coder, V& value, int lo, int hi, const uint16_t* rate, int c) {
  return CodeTree<8>(nodes, coder, value, lo, hi, rate, c);
}
template <class V>
inline int CodeTree9(AdaptiveBit* nodes, Coder& coder, V& value, int lo, int hi, const uint16_t* rate, int c) {
  return CodeTree<9>(nodes, coder, value, lo, hi, rate, c);
}
