// Process-wide Huffman code tables of Layer III, indexed by table number 0-33
// (32 and 33 are the count1 tables A and B). Built by every model construction and
// released at the end of every job; only one job may use them at a time.
#pragma once
#include <cstdint>

struct HuffmanShape {
  int xlen, ylen, linbits;
};

// xlen, ylen and linbits of every table number; count1 tables are 1 x 16.
extern const HuffmanShape huffmanShape[34];

// Per table: code bits (no leading 1) and code length, indexed by x * ylen + y.
extern uint32_t* huffCodes[34];
extern uint8_t* huffLengths[34];
// Per table: ((2^length + code) << 8) | (x << 4) | y in ascending order of 2^length + code,
// closed by a 0 entry.
extern uint32_t* huffDecodeList[34];
// Count1 tables A (first 256) and B: code with sign bits appended in bits 0-9, total length
// in bits 10-15, indexed by 64 c(v) + 16 c(w) + 4 c(x) + c(y), c(0)=0, c(1)=1, c(-1)=3.
extern uint16_t count1Encode[512];

// Builds the tables unless they are already built; Release frees them.
void BuildCodeTables();
void ReleaseCodeTables();
