// Lookup tables derived from the code tables that let the reader and the writer handle a
// whole pair or quadruple, sign bits included, in one step. Built by BuildCodeTables and
// released with the code tables; tables 17-23 and 25-31 share the arrays of 16 and 24,
// which is sound because every table of those families has linbits.
#pragma once
#include <cstdint>

// Pair decoding, indexed by the next huffPairBits stream bits. An entry holds x in bits
// 0-7 and y in bits 8-15 (as int8) and the bits it consumes in bits 16-20. With bit 31 set
// the entry is the whole pair, sign bits included. Without it the code alone fitted: x and y
// are the code's magnitudes and the caller reads linbits and signs. 0: the code is longer.
constexpr int huffPairBits = 11;
extern uint32_t* huffPairDecode[34];
// Per table: the first decode-list entry of a code longer than huffPairBits, where a walk for
// a code the lookup did not hold starts (the list's closing 0 when there is none).
extern const uint32_t* huffLongCodes[34];

// Count1 decoding, indexed by the next 10 stream bits, enough for the longest quadruple
// code of table A with its four sign bits: the four values and the bits they take.
constexpr int count1QuadBits = 10;
struct Count1Quad {
  int16_t values[4];
  uint8_t length;
};
extern Count1Quad count1Decode[2][1 << count1QuadBits];

// Pair encoding, indexed by pairEncodeSide * (x & 31) + (y & 31) for x and y in -15..16,
// where the index is unique: (code with the sign bits appended) << 5 | total length. The
// entry of 16 is that of 15. 0 when a linbits field follows, which the caller writes itself.
constexpr int pairEncodeSide = 32;
extern uint32_t* huffPairEncode[34];

void BuildFastTables();
void ReleaseFastTables();
