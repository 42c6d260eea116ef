// The stand-in codec library, seen through the binding as orvane sees it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

#include "test_data.h"

namespace {

using OodleDLL::OodleDecompress;

std::vector<size_t> RoundTripSizes() {
  std::vector<size_t> Sizes = {0, 1, 2, 55, 100, 4096, 65537};
  for (int k = 1; k <= 3; k++)
    for (int d : {-1, 0, 1}) Sizes.push_back(size_t(k) * 262144 + d);
  Sizes.push_back((UnderSanitizer ? 4 : 12) * 262144 + 5);  // several MiB
  return Sizes;
}

// Walks the block headers and checks the layout orvane's detection reads.
void ExpectBlockLayout(const Bytes& Stream, size_t RawSize) {
  size_t At = 0, Blocks = 0;
  while (At < Stream.size()) {
    ASSERT_LE(At + 8, Stream.size());
    const uint8_t* P = Stream.data() + At;
    EXPECT_EQ(P[0], Blocks == 0 ? 0x8C : 0x0C);
    EXPECT_EQ(P[1], 0x0A);
    const uint32_t Field = (P[2] << 16) | (P[3] << 8) | P[4];
    const uint32_t Chunk = (P[5] << 16) | (P[6] << 8) | P[7];
    EXPECT_EQ(Chunk >> 19, 0u);
    EXPECT_EQ(Field, Chunk + 2);
    At += 8 + Chunk;
    Blocks++;
  }
  EXPECT_EQ(At, Stream.size());
  EXPECT_EQ(Blocks, (RawSize + 262143) / 262144);
}

TEST(StandIn, RoundTripsAtEveryLevelWithDeterministicBytes) {
  for (size_t Size : RoundTripSizes()) {
    const Bytes Raw = CompressibleBytes(Size, uint32_t(Size));
    std::set<Bytes> Distinct;
    for (int Level = 1; Level <= 9; Level++) {
      SCOPED_TRACE("size " + std::to_string(Size) + " level " + std::to_string(Level));
      const Bytes Packed = Compress(Raw, Level);
      if (Size <= 262145 || Level % 4 == 1) {
        EXPECT_EQ(Packed, Compress(Raw, Level));
      }
      Distinct.insert(Packed);
      EXPECT_LE(int64_t(Packed.size()), OodleDLL::CompressedBufferSize(int64_t(Size)));
      if (Size == 0) {
        EXPECT_TRUE(Packed.empty());
        continue;
      }
      ASSERT_GE(Packed.size(), 2u);
      EXPECT_EQ(Packed[0], 0x8C);
      EXPECT_EQ(Packed[1], 0x0A);
      ExpectBlockLayout(Packed, Size);
      Bytes Back(Size);
      ASSERT_EQ(OodleDecompress(Packed.data(), int32_t(Packed.size()), Back.data(), int32_t(Size)),
                int32_t(Size));
      EXPECT_TRUE(Back == Raw);
    }
    if (Size >= 65536) {
      EXPECT_GE(Distinct.size(), 4u) << "levels should differ, size " << Size;
    }
  }
}

TEST(StandIn, IncompressibleDataFitsTheBufferSize) {
  for (size_t Size : {size_t(1), size_t(7), size_t(30), size_t(262144), size_t(262145), size_t(1000000)}) {
    const Bytes Raw = RandomBytes(Size, uint32_t(Size));
    for (int Level : {1, 9}) {
      const Bytes Packed = Compress(Raw, Level);
      EXPECT_LE(int64_t(Packed.size()), OodleDLL::CompressedBufferSize(int64_t(Size))) << Size;
      Bytes Back(Size);
      EXPECT_EQ(OodleDecompress(Packed.data(), int32_t(Packed.size()), Back.data(), int32_t(Size)), int32_t(Size));
      EXPECT_TRUE(Back == Raw);
    }
  }
}

TEST(StandIn, RejectsUnknownCodecAndLevels) {
  const Bytes Raw = CompressibleBytes(1000, 1);
  Bytes Out(4000, 0x33);
  for (int Level : {0, 10, -1})
    EXPECT_EQ(OodleDLL::OodleLZ_Compress(9, Raw.data(), 1000, Out.data(), Level, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(OodleDLL::OodleLZ_Compress(8, Raw.data(), 1000, Out.data(), 4, nullptr, nullptr, nullptr), 0);
  EXPECT_TRUE(std::all_of(Out.begin(), Out.end(), [](uint8_t B) { return B == 0x33; }));
}

// A wrong raw length fails, the decoder stays inside RawBuf[0, RawLen), and
// what it leaves there is either decoded data or the caller's fill.
TEST(StandIn, WrongRawLengthFailsAndWritesOnlyDecodedBytes) {
  constexpr size_t Guard = 64;
  for (size_t Size : {size_t(1000), size_t(262144), size_t(300000), size_t(600000)}) {
    const Bytes Raw = CompressibleBytes(Size, uint32_t(Size) + 7);
    const Bytes Packed = Compress(Raw, 4);
    const int64_t S = int64_t(Size);
    for (int64_t RawLen : {S - 1, S + 1, S - 100, S + 5000, S - 262144, S + 262144, int64_t(1)}) {
      if (RawLen <= 0) continue;
      for (uint8_t Fill : {uint8_t(0xE5), uint8_t(0xC7)}) {
        SCOPED_TRACE("size " + std::to_string(Size) + " rawlen " + std::to_string(RawLen));
        Bytes Out(size_t(RawLen) + Guard, Fill);
        std::fill(Out.begin() + RawLen, Out.end(), 0xAB);
        EXPECT_EQ(OodleDecompress(Packed.data(), int32_t(Packed.size()), Out.data(), int32_t(RawLen)), 0);
        for (size_t i = size_t(RawLen); i < Out.size(); i++) ASSERT_EQ(Out[i], 0xAB) << "guard byte " << i;
        for (size_t i = 0; i < size_t(RawLen); i++) {
          if (i < Size && Out[i] == Raw[i]) continue;
          ASSERT_EQ(Out[i], Fill) << "byte " << i << " is neither decoded nor the fill";
        }
        // A too-long length still decodes every byte (the size probe needs it).
        if (RawLen > S) {
          EXPECT_TRUE(std::equal(Raw.begin(), Raw.end(), Out.begin()));
        }
      }
    }
  }
}

TEST(StandIn, RejectsTrailingOrMissingCompressedBytes) {
  const Bytes Raw = CompressibleBytes(5000, 3);
  Bytes Packed = Compress(Raw, 2);
  Bytes Out(Raw.size());
  EXPECT_EQ(OodleDecompress(Packed.data(), int32_t(Packed.size()) - 1, Out.data(), int32_t(Raw.size())), 0);
  Packed.push_back(0);
  EXPECT_EQ(OodleDecompress(Packed.data(), int32_t(Packed.size()), Out.data(), int32_t(Raw.size())), 0);
  EXPECT_EQ(OodleDecompress(Packed.data(), 0, Out.data(), int32_t(Raw.size())), 0);
  EXPECT_EQ(OodleDecompress(Packed.data(), int32_t(Packed.size()) - 1, Out.data(), 0), 0);
}

TEST(StandIn, ConcurrentCallsGiveTheSameBytes) {
  const Bytes Raw = CompressibleBytes(700000, 11);
  const Bytes Expected = Compress(Raw, 6);
  std::vector<std::thread> Threads;
  std::atomic<int> Mismatches{0};
  for (int t = 0; t < 4; t++)
    Threads.emplace_back([&] {
      for (int r = 0; r < 3; r++) {
        const Bytes Packed = Compress(Raw, 6);
        Bytes Back(Raw.size());
        if (Packed != Expected ||
            OodleDecompress(Packed.data(), int32_t(Packed.size()), Back.data(), int32_t(Raw.size())) !=
                int32_t(Raw.size()) ||
            Back != Raw)
          Mismatches++;
      }
    });
  for (auto& T : Threads) T.join();
  EXPECT_EQ(Mismatches.load(), 0);
}

// Flipped, cut and spliced streams must never crash the decoder or make it
// write outside the buffer; the result is all or nothing.
TEST(StandIn, SurvivesCorruptedStreams) {
  std::vector<Bytes> Raws, Streams;
  for (size_t Size : {size_t(300), size_t(5000), size_t(262144), size_t(270000), size_t(600000)}) {
    Raws.push_back(CompressibleBytes(Size, uint32_t(Size) * 3));
    Streams.push_back(Compress(Raws.back(), int32_t(1 + Size % 9)));
  }
  std::mt19937 Rng(12345);
  const int Rounds = 4000 / SanitizerDivisor;
  int Successes = 0;
  for (int Round = 0; Round < Rounds; Round++) {
    const size_t Pick = Rng() % Streams.size();
    Bytes S = Streams[Pick];
    switch (Round % 4) {
      case 0:  // bit flips
        for (int k = 0, n = 1 + int(Rng() % 8); k < n; k++) S[Rng() % S.size()] ^= uint8_t(1u << (Rng() % 8));
        break;
      case 1:  // cut
        S.resize(Rng() % S.size());
        break;
      case 2: {  // splice two streams
        const Bytes& Other = Streams[Rng() % Streams.size()];
        const size_t Cut = Rng() % S.size(), From = Rng() % Other.size();
        S.resize(Cut);
        S.insert(S.end(), Other.begin() + From, Other.end());
        break;
      }
      default:  // damaged block headers
        for (size_t At = 0; At + 8 <= S.size(); At += 8 + Rng() % 300000)
          S[At + 2 + Rng() % 6] = uint8_t(Rng());
        break;
    }
    const int64_t Want = int64_t(Raws[Pick].size());
    for (int64_t RawLen : {Want, Want + int64_t(Rng() % 2000) - 1000}) {
      if (RawLen <= 0) continue;
      Bytes Out(size_t(RawLen) + 32, 0x5A);
      const int32_t R = OodleDecompress(S.data(), int32_t(S.size()), Out.data(), int32_t(RawLen));
      ASSERT_TRUE(R == 0 || R == RawLen) << "round " << Round;
      if (R > 0) Successes++;
      for (size_t i = size_t(RawLen); i < Out.size(); i++) ASSERT_EQ(Out[i], 0x5A) << "round " << Round;
    }
  }
  EXPECT_LT(Successes, Rounds);
}

}  // namespace
