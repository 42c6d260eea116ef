// A carry out of the encoder's low must reach back through every 0xFF byte it
// held back, however many, and into the byte before them.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "coder/coder.h"
#include "coder_memory_stream.h"

namespace {

TEST(CoderCarry, ShiftLowHoldsBackFFBytesAndResolvesThemWithOrWithoutCarry) {
  for (int carry = 0; carry <= 1; ++carry) {
    MemoryStream stream;
    Coder coder;
    stream.AttachEncoder(coder);
    coder.cache = 0x12;
    coder.low = 0x34000000;  // first shift emits the cache and takes 0x34 as the new one
    ShiftLow(coder);
    for (int i = 0; i < 300; ++i) {
      coder.low = 0xFF000000u + uint32_t(i);
      ShiftLow(coder);
    }
    ASSERT_EQ(coder.pending, 300);
    ASSERT_EQ(stream.bytes, std::vector<uint8_t>{0x12});
    coder.carry = carry;
    coder.low = 0x56000000;
    ShiftLow(coder);
    std::vector<uint8_t> expected{0x12, uint8_t(0x34 + carry)};
    expected.insert(expected.end(), 300, carry ? 0x00 : 0xFF);
    EXPECT_EQ(stream.bytes, expected);
    EXPECT_EQ(coder.pending, 0);
    EXPECT_EQ(coder.carry, 0);
    EXPECT_EQ(coder.cache, 0x56);
  }
}

// Drives the encoder so that its interval keeps straddling the point where the
// held-back byte would go up by one: each byte shifted out meanwhile is a
// pending 0xFF. Then it takes the side above (carry) or below (no carry).
struct SteeredStream {
  std::vector<int> bits;
  std::vector<uint32_t> probabilities;
  std::vector<uint8_t> output;
  int longestPending = 0;
};

SteeredStream EncodeSteered(bool endWithCarry, int heldBytes, uint32_t seed) {
  SteeredStream result;
  std::mt19937 rng(seed);
  MemoryStream stream;
  Coder coder;
  stream.AttachEncoder(coder);
  auto code = [&](int bit, uint32_t p) {
    result.bits.push_back(CodeBitWithProbability(coder, bit, p));
    result.probabilities.push_back(p);
    if (coder.pending > result.longestPending) result.longestPending = coder.pending;
  };
  auto straddles = [&] { return coder.carry == 0 && uint64_t(coder.low) + coder.range > (uint64_t(1) << 32); };
  constexpr uint64_t kTop = uint64_t(1) << 32;

  // A side boundary exactly on the point would end the straddle either way.
  auto pickProbability = [&](uint32_t lowest, uint32_t spread) {
    uint32_t p;
    do p = lowest + rng() % spread;
    while (uint64_t(coder.low) + Bound(p, coder.range) == kTop);
    return p;
  };
  auto keepStraddling = [&](uint32_t p) { code(uint64_t(coder.low) + Bound(p, coder.range) < kTop ? 1 : 0, p); };

  while (!straddles()) code(int(rng() & 1), 1 + rng() % 0x7FFF);
  while (coder.pending < heldBytes) {
    keepStraddling(pickProbability(0x2000, 0x4000));
    if (!straddles()) return result;  // cannot happen while the side holding the point is chosen
  }
  // Leave the straddle: the 1 side lies wholly above when low + bound reaches
  // past the point, the 0 side wholly below when it does not.
  for (;;) {
    const uint32_t p = pickProbability(0x3000, 0x2000);
    const bool upperSideAbove = uint64_t(coder.low) + Bound(p, coder.range) > kTop;
    if (upperSideAbove == endWithCarry) {
      code(endWithCarry ? 1 : 0, p);
      break;
    }
    keepStraddling(p);
  }
  for (int i = 0; i < 1000; ++i) code(int(rng() & 1), 1 + rng() % 0x7FFF);
  Flush(coder);
  result.output = stream.bytes;
  return result;
}

size_t LongestRunOf(const std::vector<uint8_t>& bytes, uint8_t value) {
  size_t longest = 0, current = 0;
  for (uint8_t b : bytes) {
    current = b == value ? current + 1 : 0;
    if (current > longest) longest = current;
  }
  return longest;
}

TEST(CoderCarry, LongHeldBackRunsDecodeWhetherTheCarryComesOrNot) {
  const int held = ScaledForSanitizer(20000);
  for (bool withCarry : {true, false}) {
    for (uint32_t seed : {1u, 2u, 3u}) {
      SCOPED_TRACE(testing::Message() << "carry " << withCarry << " seed " << seed);
      const SteeredStream steered = EncodeSteered(withCarry, held, seed);
      ASSERT_GE(steered.longestPending, held);
      // The held-back bytes come out as one run: 0x00 after a carry, else 0xFF.
      EXPECT_GE(LongestRunOf(steered.output, withCarry ? 0x00 : 0xFF), size_t(held));

      MemoryStream stream;
      stream.bytes = steered.output;
      Coder decoder;
      stream.AttachDecoder(decoder);
      for (size_t i = 0; i < steered.bits.size(); ++i)
        ASSERT_EQ(CodeBitWithProbability(decoder, 0, steered.probabilities[i]), steered.bits[i]) << "bit " << i;
      EXPECT_EQ(stream.reads, stream.bytes.size());
    }
  }
}

}  // namespace
