// Bits that bounds force, limits of adaptive bits, and decoders fed with bytes
// that no encoder wrote.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "coder/coder.h"
#include "coder_memory_stream.h"

namespace {

int CodeTreeOfWidth(int width, AdaptiveBit* nodes, Coder& coder, int& value, int lo, int hi) {
  switch (width) {
    case 2: return CodeTree2(nodes, coder, value, lo, hi, rate28_128, 16);
    case 3: return CodeTree3(nodes, coder, value, lo, hi, rate28_128, 16);
    case 4: return CodeTree4(nodes, coder, value, lo, hi, rate28_128, 16);
    case 5: return CodeTree5(nodes, coder, value, lo, hi, rate28_128, 16);
    case 8: return CodeTree8(nodes, coder, value, lo, hi, rate28_128, 16);
    default: return CodeTree9(nodes, coder, value, lo, hi, rate28_128, 16);
  }
}

int UpdatedNodes(const std::vector<AdaptiveBit>& nodes) {
  int count = 0;
  for (const AdaptiveBit& ab : nodes) count += ab.state != 1;
  return count;
}

// A coded bit moves the interval; a forced one must leave coder and nodes alone.
struct CoderSnapshot {
  uint32_t low, range, code;
  int bytes;
  explicit CoderSnapshot(const Coder& c) : low(c.low), range(c.range), code(c.code), bytes(c.bytes) {}
  bool operator==(const CoderSnapshot&) const = default;
};

TEST(CoderTreeBounds, FullRangeCodesEveryBitAndNarrowRangesCodeNothing) {
  for (int width : {2, 3, 4, 5, 8, 9}) {
    SCOPED_TRACE(testing::Message() << "width " << width);
    const int top = 1 << width;
    for (int decoding = 0; decoding <= 1; ++decoding) {
      MemoryStream stream;
      stream.bytes.assign(64, 0xA5);
      Coder coder;
      decoding ? stream.AttachDecoder(coder) : stream.AttachEncoder(coder);

      // Full range: one coded bit per position, each on its own node.
      std::vector<AdaptiveBit> nodes(top);
      int value = top - 2;
      CodeTreeOfWidth(width, nodes.data(), coder, value, -1, top);
      EXPECT_EQ(UpdatedNodes(nodes), width);
      EXPECT_EQ(nodes[0].state, 1) << "node 0 is never used";

      // hi = 1 leaves only 0; lo = hi - 2 leaves only hi - 1.
      const CoderSnapshot before(coder);
      std::vector<AdaptiveBit> untouched(top);
      value = 3;
      EXPECT_EQ(CodeTreeOfWidth(width, untouched.data(), coder, value, -1, 1), 0);
      EXPECT_EQ(value, 0);
      for (int hi = 1; hi <= top; ++hi) {
        value = decoding ? 0 : (hi * 7) % top;  // the encoder may be asked for anything
        EXPECT_EQ(CodeTreeOfWidth(width, untouched.data(), coder, value, hi - 2, hi), hi - 1);
        EXPECT_EQ(value, hi - 1);
      }
      EXPECT_EQ(UpdatedNodes(untouched), 0);
      EXPECT_TRUE(CoderSnapshot(coder) == before);
    }
  }
}

// Damaged or truncated input makes a decoder read garbage and, past the end,
// the end-of-file value; it must still return values its callers can index
// with.
TEST(CoderTreeBounds, DecodingGarbageStaysWithinTheBounds) {
  std::mt19937 rng(11);
  const int calls = ScaledForSanitizer(200000);
  MemoryStream stream;
  for (int i = 0; i < calls / 100; ++i) stream.bytes.push_back(uint8_t(rng()));  // runs far past them
  Coder decoder;
  stream.AttachDecoder(decoder);
  std::vector<AdaptiveBit> nodes(512);
  RunModel runModel;
  AdaptiveBit single;
  for (int i = 0; i < calls; ++i) {
    const int width = (i % 3 == 0) ? 9 : 2 + i % 4;
    const int span = 1 << width;
    const int lo = int(rng() % span) - 1;
    const int hi = lo + 2 + int(rng() % span);
    int value = 0;
    CodeTreeOfWidth(width, nodes.data(), decoder, value, lo, hi);
    ASSERT_GE(value, 0);
    ASSERT_LT(value, span);
    if (hi <= span) {
      ASSERT_GT(value, lo);
      ASSERT_LT(value, hi);
    }
    int bit = 7;
    CodeRunBit(runModel, decoder, bit, rate20_100, 16);
    ASSERT_TRUE(bit == 0 || bit == 1);
    ASSERT_GE(runModel.run, 0);
    ASSERT_LE(runModel.run, 31);
    CodeBit(decoder, single, bit, rate999_5000, 163);
    ASSERT_TRUE(bit == 0 || bit == 1);
    ASSERT_GE(decoder.range, 0x1000000u);
  }
  EXPECT_GT(stream.reads, stream.bytes.size());
}

TEST(AdaptiveBitLimits, LongRunsKeepProbabilityInRangeAndStateWithinTheSchedule) {
  const int limits[] = {0, 1, 16, 64, 128, 163, 3276, 5461, 16384, 32767, 32768};
  for (const RateScheduleEntry& schedule : kRateSchedules) {
    for (int limit : limits) {
      for (int bit = 0; bit <= 1; ++bit) {
        AdaptiveBit ab;
        for (int i = 0; i < 20 * schedule.N; ++i) {
          UpdateAdaptiveBit(ab, bit, schedule.table, limit);
          ASSERT_GE(ab.p, 1);
          ASSERT_LE(ab.p, 0x7FFF);
          ASSERT_LE(ab.state, schedule.table[0]);
        }
        ASSERT_EQ(ab.state, schedule.N - 1);
        // The limit holds p near limit / 2^15 from the end it is pulled to, give
        // or take the rounding of one update at the smallest weight.
        const int target = std::clamp(bit ? limit : 0x8000 - limit, 1, 0x7FFF);
        const int slack = 2 * 32768 / schedule.table[schedule.N - 1] + 2;
        EXPECT_NEAR(ab.p, target, slack) << schedule.A << "," << schedule.N << " limit " << limit;
      }
    }
  }
}

TEST(AdaptiveBitLimits, UpdateFollowsTheWeightOfTheNextState) {
  // One update of a fresh bit with a 0 under (28, 128) and limit 16: the weight
  // is entry 2 (16912); p = 16912 - (16 * 16912 >> 15) + ((32768 - 16912) * 16384 + 32767 >> 15).
  static_assert(LimitOfShift(11) == 16 && LimitOfShift(9) == 64 && LimitOfShift(8) == 128);
  AdaptiveBit ab;
  UpdateAdaptiveBit(ab, 0, rate28_128, LimitOfShift(11));
  EXPECT_EQ(ab.state, 2);
  EXPECT_EQ(ab.p, 16904 + 7928);
  UpdateAdaptiveBit(ab, 1, rate28_128, 16);
  // Weight 11650: (16 * 11650) >> 15 = 5, plus (21118 * 24832 + 32767) >> 15 = 16004.
  EXPECT_EQ(ab.state, 3);
  EXPECT_EQ(ab.p, 5 + 16004);

  // A bit saturated under a long schedule and then used with a short one must
  // be capped by the short one rather than index past its end.
  AdaptiveBit moved;
  for (int i = 0; i < 6000; ++i) UpdateAdaptiveBit(moved, i & 1, rate999_5000, 16);
  ASSERT_EQ(moved.state, 4999);
  UpdateAdaptiveBit(moved, 0, rate20_100, 16);
  EXPECT_EQ(moved.state, 99);
}

TEST(CodeBitOp, CodeOnlyAndUpdateOnlyTouchOnlyTheirHalf) {
  for (int decoding = 0; decoding <= 1; ++decoding) {
    MemoryStream stream;
    stream.bytes.assign(16, 0x3C);
    Coder coder;
    decoding ? stream.AttachDecoder(coder) : stream.AttachEncoder(coder);
    AdaptiveBit ab;
    ab.p = 1000;
    ab.state = 5;

    int bit = 1;
    CoderSnapshot before(coder);
    CodeBitOp(ab, coder, bit, rate28_128, 16, kCodeOnly);
    EXPECT_FALSE(CoderSnapshot(coder) == before);
    EXPECT_EQ(ab.p, 1000);
    EXPECT_EQ(ab.state, 5);

    bit = 1;
    before = CoderSnapshot(coder);
    CodeBitOp(ab, coder, bit, rate28_128, 16, kUpdateOnly);
    EXPECT_TRUE(CoderSnapshot(coder) == before);
    EXPECT_EQ(bit, 1) << "the update-only bit is an input in both modes";
    EXPECT_EQ(ab.state, 6);
    EXPECT_LT(ab.p, 1000);
  }
}

TEST(CodeRunBit, ContextIsTheLengthOfTheAgreeingRun) {
  MemoryStream stream;
  Coder coder;
  stream.AttachEncoder(coder);
  RunModel model;
  // Which of the 32 bits each call used: the one whose count went up.
  auto usedIndex = [&](int bit) {
    RunModel before = model;
    CodeRunBit(model, coder, bit, rate28_128, 16);
    int used = -1;
    for (int i = 0; i < 32; ++i)
      if (model.bits[i].state != before.bits[i].state) {
        EXPECT_EQ(used, -1);
        used = i;
      }
    return used;
  };
  EXPECT_EQ(usedIndex(1), 0);
  EXPECT_EQ(usedIndex(1), 1);
  EXPECT_EQ(usedIndex(1), 2);
  EXPECT_EQ(usedIndex(0), 3);  // disagrees: the next bit starts over
  EXPECT_EQ(usedIndex(0), 0);
  for (int i = 1; i < 40; ++i) EXPECT_EQ(usedIndex(0), i < 31 ? i : 31);
  EXPECT_EQ(usedIndex(1), 31);
  EXPECT_EQ(model.run, 0);
  EXPECT_EQ(model.last, 1);
}

}  // namespace

namespace {

// The split of the interval is part of the format, so both of its regimes are
// pinned through the half-probability split, which has a closed form on each
// side of 2^28.
TEST(CoderBound, SplitsEveryRangeInsideAndMatchesTheHalfSplit) {
  std::mt19937 rng(3);
  for (int i = 0; i < 100000; ++i) {
    const uint32_t range = 0x1000000u + uint32_t(rng() % (0xFFFFFFFFu - 0x1000000u + 1));
    const uint32_t p = 1 + rng() % 0x7FFF;
    const uint32_t bound = Bound(p, range);
    ASSERT_GT(bound, 0u) << range << " " << p;
    ASSERT_LT(bound, range) << range << " " << p;
    const uint32_t half = range < 0x10000000u ? ((range >> 11) * 16384) >> 4 : (range >> 1) & ~0x3FFFu;
    ASSERT_EQ(Bound(0x4000, range), half) << range;
  }
  EXPECT_EQ(Bound(0x4000, 0x0FFFFFFFu), 0x07FFFC00u);
  EXPECT_EQ(Bound(0x4000, 0x10000000u), 0x08000000u);
  EXPECT_EQ(Bound(0x7FFF, 0xFFFFFFFFu), 0x7FFFu * 0x1FFFFu);
  EXPECT_EQ(Bound(1, 0x1000000u), 0x200u);
}

}  // namespace
