#include "bitstream/huffman_fast.h"

#include <algorithm>
#include <cstdlib>

#include "bitstream/huffman_tables.h"

uint32_t* huffPairDecode[34];
const uint32_t* huffLongCodes[34];
Count1Quad count1Decode[2][1 << count1QuadBits];
uint32_t* huffPairEncode[34];

namespace {

bool Shared(int table) { return (table >= 17 && table <= 23) || (table >= 25 && table <= 31); }
int Owner(int table) { return table <= 23 ? 16 : 24; }

// Fills every entry whose index starts with the `length` bits of `prefix`.
template <typename Entry>
void FillPrefix(Entry* table, int indexBits, uint32_t prefix, int length, const Entry& entry) {
  const int free = indexBits - length;
  for (uint32_t tail = 0; tail < (1u << free); ++tail) table[(prefix << free) | tail] = entry;
}

uint32_t PairEntry(int x, int y, int length, bool complete) {
  return uint32_t(uint8_t(int8_t(x))) | uint32_t(uint8_t(int8_t(y))) << 8 |
         uint32_t(length) << 16 | uint32_t(complete) << 31;
}

uint32_t* BuildPairDecode(int table) {
  const HuffmanShape& shape = huffmanShape[table];
  uint32_t* decode = new uint32_t[1 << huffPairBits]();
  for (int x = 0; x < shape.xlen; ++x)
    for (int y = 0; y < shape.ylen; ++y) {
      const int index = x * shape.ylen + y;
      const int length = huffLengths[table][index];
      const uint32_t code = huffCodes[table][index];
      if (length > huffPairBits) continue;
      const bool escape = shape.linbits && (x == 15 || y == 15);
      const int signs = (x != 0) + (y != 0);
      if (escape || length + signs > huffPairBits) {
        FillPrefix(decode, huffPairBits, code, length, PairEntry(x, y, length, false));
        continue;
      }
      // Sign bits follow the code, x's first; 1 means negative.
      for (uint32_t s = 0; s < (1u << signs); ++s) {
        const bool xNegative = x && (s >> (signs - 1) & 1);
        const bool yNegative = y && (s & 1);
        FillPrefix(decode, huffPairBits, code << signs | s, length + signs,
                   PairEntry(xNegative ? -x : x, yNegative ? -y : y, length + signs, true));
      }
    }
  return decode;
}

uint32_t* BuildPairEncode(int table) {
  const HuffmanShape& shape = huffmanShape[table];
  uint32_t* encode = new uint32_t[pairEncodeSide * pairEncodeSide]();
  for (int x = -15; x <= 16; ++x)
    for (int y = -15; y <= 16; ++y) {
      const int ax = std::min(std::abs(x), 15), ay = std::min(std::abs(y), 15);
      if (shape.linbits && (ax == 15 || ay == 15)) continue;
      // Values beyond the table (only a damaged decoded frame has them) take its last row
      // or column, which keeps every index inside the code arrays.
      const int index = std::min(ax, shape.xlen - 1) * shape.ylen + std::min(ay, shape.ylen - 1);
      uint32_t bits = huffCodes[table][index];
      uint32_t length = huffLengths[table][index];
      if (x) bits = bits << 1 | (x < 0), ++length;
      if (y) bits = bits << 1 | (y < 0), ++length;
      encode[pairEncodeSide * (x & 31) + (y & 31)] = bits << 5 | length;
    }
  return encode;
}

void BuildCount1Decode() {
  for (int t = 0; t < 2; ++t) {
    const uint32_t* codes = huffCodes[32 + t];
    const uint8_t* lengths = huffLengths[32 + t];
    for (int quad = 0; quad < 16; ++quad) {
      const int signs = __builtin_popcount(unsigned(quad));
      for (uint32_t s = 0; s < (1u << signs); ++s) {
        Count1Quad entry{};
        int signBit = signs;
        for (int k = 0; k < 4; ++k) {
          if (!(quad >> (3 - k) & 1)) continue;
          entry.values[k] = int16_t((s >> --signBit & 1) ? -1 : 1);
        }
        entry.length = uint8_t(lengths[quad] + signs);
        FillPrefix(count1Decode[t], count1QuadBits, codes[quad] << signs | s, entry.length, entry);
      }
    }
  }
}

}  // namespace

void BuildFastTables() {
  ReleaseFastTables();
  for (int t = 1; t < 34; ++t) {
    if (!huffCodes[t] || Shared(t) || t >= 32) continue;
    huffPairDecode[t] = BuildPairDecode(t);
    huffPairEncode[t] = BuildPairEncode(t);
  }
  for (int t = 1; t < 34; ++t) {
    const uint32_t* entry = huffDecodeList[t];
    if (!entry) continue;
    while (*entry && (*entry >> 8) < (2u << huffPairBits)) ++entry;
    huffLongCodes[t] = entry;
  }
  for (int t = 0; t < 34; ++t)
    if (Shared(t)) huffPairDecode[t] = huffPairDecode[Owner(t)], huffPairEncode[t] = huffPairEncode[Owner(t)];
  BuildCount1Decode();
}

void ReleaseFastTables() {
  for (int t = 0; t < 34; ++t) {
    if (!Shared(t)) {
      delete[] huffPairDecode[t];
      delete[] huffPairEncode[t];
    }
    huffPairDecode[t] = nullptr;
    huffPairEncode[t] = nullptr;
    huffLongCodes[t] = nullptr;
  }
}
