// Fixed data of MPEG audio Layer III: frame-size tables, scale-factor band layouts and the
// Huffman code lists the code tables are built from.
#pragma once
#include <cstdint>

namespace layer3 {

// One code of a Huffman table: the pair (x, y) and its code bits, first bit highest.
struct HuffmanCode {
  uint8_t x, y, length;
  uint32_t bits;
};

// The codes of one table as published; tables that share codes appear once.
struct HuffmanSource {
  int number, xlen, ylen, linbits, count;
  const HuffmanCode* codes;
};

extern const HuffmanSource huffmanSources[];
extern const int huffmanSourceCount;

// Long-block band boundaries per row = sampling_frequency + 3 * (0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5).
extern const int16_t longBandBoundary[9][23];
// MPEG-2/2.5 scale-factor partition sizes [row][block kind][group].
extern const uint8_t nrOfSfb[6][3][4];

// Index 15 is the forbidden bitrate_index; it maps to 0 so that a decoded header with it
// still yields a frame size instead of reading past the table.
inline constexpr int32_t bitRateMpeg1[16] = {0, 32000, 40000, 48000, 56000, 64000, 80000, 96000,
                                             112000, 128000, 160000, 192000, 224000, 256000,
                                             320000, 0};
inline constexpr int32_t bitRateMpeg2[16] = {0, 8000, 16000, 24000, 32000, 40000, 48000, 56000,
                                             64000, 80000, 96000, 112000, 128000, 144000,
                                             160000, 0};
// [version row 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5][sampling_frequency]
inline constexpr int32_t sampleRate[3][3] = {
    {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

inline constexpr uint8_t slen1Mpeg1[16] = {0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4};
inline constexpr uint8_t slen2Mpeg1[16] = {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3};

// linbits per table number 0-31 (tables 32 and 33 have none).
inline constexpr uint8_t linbits[34] = {0, 0, 0, 0, 0, 0, 0, 0, 0,  0,  0,  0,  0, 0, 0, 0, 1,
                                        2, 3, 4, 6, 8, 10, 13, 4, 5, 6, 7, 8, 9, 11, 13, 0, 0};

}  // namespace layer3
