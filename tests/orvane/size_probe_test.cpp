// The exact-size probe through the library.
#include <gtest/gtest.h>

#include <atomic>

#include "OodleDetect.h"
#include "counting_decompress.h"
#include "test_data.h"

namespace {

int32_t Estimate(size_t RawSize) { return int32_t((RawSize + 262143) / 262144 * 262144); }

int32_t Probe(const Bytes& Stream, int32_t OutSize) {
  // Exactly 2 x OutSize, so that the sanitizer sees any overrun.
  std::vector<uint8_t> Output(2 * size_t(OutSize));
  return GetOodleUS(Stream.data(), int32_t(Stream.size()), Output.data(), OutSize);
}

TEST(GetOodleUS, FindsTheExactSizeFromOneByteToThreeMiB) {
  std::vector<size_t> Sizes = {1, 2, 63, 64, 100, 1000, 16383, 16384, 16385, 100000};
  // Every multiple of 262,144 up to 3 MiB, and the lengths around some of
  // them where the probe's attempts change course.
  const int MaxBlocks = UnderSanitizer ? 4 : 12;
  for (int k = 1; k <= MaxBlocks; k++)
    for (int d : {0, 1}) Sizes.push_back(size_t(k) * 262144 + d);
  for (int k : {1, 2, MaxBlocks})
    for (int d : {-262143, -200000, -95, -94, -50, -1, 95})
      Sizes.push_back(size_t(int64_t(k) * 262144 + d));
  for (size_t Size : Sizes) {
    SCOPED_TRACE("size " + std::to_string(Size));
    const Bytes Raw = CompressibleBytes(Size, uint32_t(Size) ^ 0x5555);
    const Bytes Stream = Compress(Raw, 1);
    int32_t OutSize = Estimate(Size);
    int32_t CSize = 0, DSize = 0, PCodec = 0;
    GetOodleSI(Stream.data(), int32_t(Stream.size()), CSize, DSize, PCodec);
    if (CSize > 0) {
      EXPECT_EQ(CSize, int32_t(Stream.size()));
      EXPECT_EQ(DSize, OutSize);
    }
    CountDecompress Counter;
    EXPECT_EQ(Probe(Stream, OutSize), int32_t(Size));
    // The two attempts at the estimate show where the stream ends, and one
    // decode there confirms it: a stream never costs dozens of whole decodes.
    EXPECT_LE(CountDecompress::Calls.load(), 3);
  }
}

TEST(GetOodleUS, ExactEstimateSucceedsAtTheFirstAttempt) {
  for (size_t Size : {size_t(262144), size_t(3 * 262144)}) {
    const Bytes Stream = Compress(CompressibleBytes(Size, 8), 4);
    CountDecompress Counter;
    EXPECT_EQ(Probe(Stream, int32_t(Size)), int32_t(Size));
    EXPECT_EQ(CountDecompress::Calls.load(), 2);
  }
}

TEST(GetOodleUS, RejectsStreamsThatDoNotDecodeOrBarelyExpand) {
  // Incompressible data: the stream is longer than its contents.
  const Bytes Noise = Compress(RandomBytes(100000, 4), 1);
  EXPECT_EQ(Probe(Noise, Estimate(100000)), 0);
  // Damaged streams.
  Bytes Broken = Compress(CompressibleBytes(300000, 6), 3);
  Broken[Broken.size() / 2] ^= 0xFF;
  Broken[Broken.size() / 3] ^= 0xFF;
  EXPECT_EQ(Probe(Broken, Estimate(300000)), 0);
  const Bytes Random = RandomBytes(5000, 9);
  EXPECT_EQ(Probe(Random, 262144), 0);
  // An estimate below the real size.
  const Bytes Big = Compress(CompressibleBytes(600000, 2), 5);
  EXPECT_EQ(Probe(Big, 262144), 0);
}

TEST(GetOodleUS, ThrowsWithoutTheLibrary) {
  const Bytes Stream = Compress(CompressibleBytes(1000, 1), 4);
  const auto Saved = OodleDLL::OodleLZ_Decompress;
  OodleDLL::OodleLZ_Decompress = nullptr;
  EXPECT_THROW(Probe(Stream, 262144), OodleDLL::EOodleMissing);
  OodleDLL::OodleLZ_Decompress = Saved;
}

}  // namespace
