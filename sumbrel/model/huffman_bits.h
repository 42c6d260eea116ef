// How many bits the Layer III Huffman codes of given spectral values take: the cost that the
// table selection compares and the part2_3_length that the length model expects.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "bitstream/huffman_tables.h"

// One value pair in a big-value table: the code, a sign bit per nonzero value and the
// linbits of each magnitude of 15 or more. Tables 0, 4 and 14 cost nothing.
inline int PairBits(int table, int x, int y) {
  const uint8_t* lengths = huffLengths[table];
  if (!lengths) return 0;
  const HuffmanShape& shape = huffmanShape[table];
  const int ax = std::abs(x), ay = std::abs(y);
  // A record decoded from a damaged stream may pair a table with values it cannot code;
  // the index stays inside the table all the same.
  const int cx = std::min({ax, 15, shape.xlen - 1}), cy = std::min({ay, 15, shape.ylen - 1});
  return lengths[cx * shape.ylen + cy] + (x != 0) + (y != 0) + shape.linbits * ((ax >= 15) + (ay >= 15));
}

// The pairs of values [from, to) (from even) in a table.
inline int RegionBits(int table, const int16_t* values, int from, int to) {
  if (!huffLengths[table]) return 0;
  int bits = 0;
  for (int i = from; i < to; i += 2) bits += PairBits(table, values[i], values[i + 1]);
  return bits;
}

// The quadruples from `from` in steps of 4 below `to` in count1 table 0 (A) or 1 (B), sign
// bits included. Each value is looked up by its low two bits; values past index 575 count
// as 0.
inline int Count1Bits(int count1table, const int16_t* values, int from, int to) {
  const uint16_t* encode = count1Encode + 256 * (count1table & 1);
  int bits = 0;
  for (int i = from; i < to; i += 4) {
    int index = 0;
    for (int j = 0; j < 4; ++j) index = 4 * index + (i + j < 576 ? values[i + j] & 3 : 0);
    bits += encode[index] >> 10;
  }
  return bits;
}
