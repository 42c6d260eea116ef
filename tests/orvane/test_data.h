// Test data for the orvane suites: seeded bytes and stand-in streams.
#pragma once

#include <cstdint>
#include <random>
#include <stdexcept>
#include <vector>

#include "OodleDLL.h"

#if defined(__SANITIZE_ADDRESS__)
constexpr bool UnderSanitizer = true;
#else
constexpr bool UnderSanitizer = false;
#endif

// Heavy loops run this many times fewer rounds under the sanitizer.
constexpr int SanitizerDivisor = UnderSanitizer ? 8 : 1;

using Bytes = std::vector<uint8_t>;

inline Bytes RandomBytes(size_t Size, uint32_t Seed) {
  std::mt19937_64 Rng(Seed);
  Bytes Out(Size);
  for (size_t i = 0; i < Size; i += 8) {
    const uint64_t V = Rng();
    for (size_t k = 0; k < 8 && i + k < Size; k++) Out[i + k] = uint8_t(V >> (8 * k));
  }
  return Out;
}

// Text-like data that compresses well, so that different levels find
// different matches.
inline Bytes CompressibleBytes(size_t Size, uint32_t Seed) {
  static const char* const Words[] = {"stream ", "block ",  "window ", "header ", "level ",
                                      "codec ",  "chunk ",  "probe ",  "offset ", "length ",
                                      "oodle ",  "raw ",    "group ",  "record ", "scan "};
  std::mt19937 Rng(Seed);
  Bytes Out;
  Out.reserve(Size);
  while (Out.size() < Size) {
    if (Rng() % 8 == 0) {
      Out.push_back(uint8_t(Rng()));
      continue;
    }
    for (const char* W = Words[Rng() % 15]; *W && Out.size() < Size; W++) Out.push_back(uint8_t(*W));
  }
  return Out;
}

inline Bytes Compress(const Bytes& Raw, int32_t Level) {
  Bytes Out(size_t(OodleDLL::CompressedBufferSize(int64_t(Raw.size()))));
  const int32_t N = OodleDLL::OodleCompress(Raw.data(), int32_t(Raw.size()), Out.data(), Level);
  if (N < 0 || (N == 0 && !Raw.empty())) throw std::runtime_error("stand-in compression failed");
  Out.resize(size_t(N));
  return Out;
}
