// Stream detection from block headers.
#include <gtest/gtest.h>

#include <cstring>

#include "OodleDetect.h"
#include "test_data.h"

namespace {

struct SI {
  int32_t CSize = -1, DSize = -1, PCodec = -1;
};

SI Detect(const uint8_t* Buff, size_t ISize) {
  SI R;
  GetOodleSI(Buff, int32_t(ISize), R.CSize, R.DSize, R.PCodec, true);
  return R;
}
SI Detect(const Bytes& B) { return Detect(B.data(), B.size()); }

void Append(Bytes& To, std::initializer_list<uint8_t> Values) { To.insert(To.end(), Values); }
void Append(Bytes& To, const Bytes& Values) { To.insert(To.end(), Values.begin(), Values.end()); }

// A type-0x06 compressed block of Length bytes (Length >= 8) holding one chunk.
Bytes CompressedBlock(uint8_t Flags, uint32_t Length) {
  Bytes B = {Flags, 0x06, uint8_t((Length - 6) >> 16), uint8_t((Length - 6) >> 8), uint8_t(Length - 6),
             uint8_t((Length - 8) >> 16), uint8_t((Length - 8) >> 8), uint8_t(Length - 8)};
  B.resize(Length, 0x11);
  return B;
}

// A stored block: 2 header bytes and Raw bytes of filler that holds no header.
Bytes StoredBlock(uint8_t Flags, size_t Raw) {
  Bytes B = {Flags, 0x06};
  B.resize(2 + Raw, 0x00);
  return B;
}

TEST(GetOodleSI, NeedsEightBytesAndAStreamStartByte) {
  Bytes B = {0x8C, 0x0A, 0x00, 0x00, 0x3A, 0x80, 0x00, 0x38};
  B.resize(64, 0x22);
  for (size_t Size = 0; Size < 8; Size++) EXPECT_EQ(Detect(B.data(), Size).CSize, 0) << Size;
  for (uint8_t First : {0x0C, 0x4C, 0x8D, 0x00}) {
    B[0] = First;
    const SI R = Detect(B);
    EXPECT_EQ(R.CSize, 0);
    EXPECT_EQ(R.DSize, 0);
  }
}

TEST(GetOodleSI, SmallestCompressedFirstBlock) {
  Bytes B = {0x8C, 0x0A, 0x00, 0x00, 0x3A, 0x80, 0x00, 0x38};
  B.resize(64, 0x22);
  SI R = Detect(B);
  EXPECT_EQ(R.CSize, 64);
  EXPECT_EQ(R.DSize, 262144);
  EXPECT_EQ(R.PCodec, 2);

  Bytes Short = {0x8C, 0x0A, 0x00, 0x00, 0x39, 0x80, 0x00, 0x37};
  Short.resize(63, 0x22);
  Short.resize(200, 0x00);  // plenty of data after it: still too short a block
  R = Detect(Short);
  EXPECT_EQ(R.CSize, 0);
  EXPECT_EQ(R.DSize, 0);
}

TEST(GetOodleSI, ChunkHeadersMustFillTheFirstBlock) {
  Bytes One = CompressedBlock(0x8C, 100);
  One.resize(300, 0x00);
  EXPECT_EQ(Detect(One).CSize, 100);
  One[7] += 1;  // chunk length + 8 != L
  EXPECT_EQ(Detect(One).CSize, 0);

  // Two chunks: 8 + 40 bytes, then a second 3-byte header and 49 bytes.
  Bytes Two = CompressedBlock(0x8C, 100);
  Two[7] = 40;
  Two[48] = 0x00, Two[49] = 0x00, Two[50] = 49;
  EXPECT_EQ(Detect(Two).CSize, 100);
  Two[50] = 48;  // sum != L
  EXPECT_EQ(Detect(Two).CSize, 0);
  // The second chunk header lies past the available bytes.
  Bytes Cut(Two.begin(), Two.begin() + 49);
  EXPECT_EQ(Detect(Cut).CSize, 0);
}

TEST(GetOodleSI, ChainsFollowingBlocksAndStopsAtOtherBytes) {
  Bytes B = CompressedBlock(0x8C, 100);
  Append(B, CompressedBlock(0x0C, 70));
  Append(B, CompressedBlock(0x0C, 9));
  Append(B, {0x00, 0x0C, 0x06});
  SI R = Detect(B);
  EXPECT_EQ(R.CSize, 179);
  EXPECT_EQ(R.DSize, 3 * 262144);
  EXPECT_EQ(R.PCodec, 1);

  // A following block whose chunk header starts with 0x7? or 0xC? is not taken.
  Bytes C = CompressedBlock(0x8C, 100);
  Append(C, CompressedBlock(0x0C, 70));
  C[100 + 5] = 0x70;
  EXPECT_EQ(Detect(C).CSize, 100);
  C[100 + 5] = 0xC0;
  EXPECT_EQ(Detect(C).CSize, 100);
  C[100 + 5] = 0x40;
  EXPECT_EQ(Detect(C).CSize, 170);
}

TEST(GetOodleSI, BlockPastTheDataRejectsTheWholeStream) {
  Bytes B = CompressedBlock(0x8C, 100);
  Append(B, CompressedBlock(0x0C, 70));
  Append(B, CompressedBlock(0x0C, 50));
  EXPECT_EQ(Detect(B).CSize, 220);
  const SI R = Detect(B.data(), B.size() - 1);
  EXPECT_EQ(R.CSize, 0);
  EXPECT_EQ(R.DSize, 0);
  // A following header cut short only ends the chain.
  EXPECT_EQ(Detect(B.data(), 175).CSize, 170);
}

TEST(GetOodleSI, LengthField7FFFFCountsSixBytes) {
  Bytes B = CompressedBlock(0x8C, 100);
  Append(B, {0x0C, 0x06, 0x07, 0xFF, 0xFF, 0x00});
  Append(B, {0x00});
  B.resize(100 + 0x80005, 0x00);
  SI R = Detect(B);
  EXPECT_EQ(R.CSize, 106);
  EXPECT_EQ(R.DSize, 2 * 262144);
  // The full claimed length must still be available.
  EXPECT_EQ(Detect(B.data(), B.size() - 1).CSize, 0);
}

// Long chains are walked without recursion, and a chain whose estimate would
// not fit the 32-bit sizes of the container is rejected.
TEST(GetOodleSI, LongChainsAndTheSizeLimit) {
  for (int Blocks : {8000, 9000}) {
    Bytes B = CompressedBlock(0x8C, 100);
    for (int i = 0; i < Blocks; i++) Append(B, {0x0C, 0x06, 0x07, 0xFF, 0xFF, 0x00});
    B.resize(B.size() + 0x80005, 0x00);
    const SI R = Detect(B);
    if (Blocks == 8000) {
      EXPECT_EQ(R.CSize, 100 + 6 * Blocks);
      EXPECT_EQ(int64_t(R.DSize), int64_t(Blocks + 1) * 262144);
    } else {
      EXPECT_EQ(R.CSize, 0);
      EXPECT_EQ(R.DSize, 0);
    }
  }
}

// Stored blocks count against the same limit: a chain may reach INT32_MAX
// exactly, and one byte more rejects it instead of wrapping negative. Three
// real blocks after the 6-byte ones give those the room their length claims.
TEST(GetOodleSI, StoredBlocksAndTheSizeLimit) {
  Bytes B = CompressedBlock(0x8C, 100);
  for (int i = 0; i < 8187; i++) Append(B, {0x0C, 0x06, 0x07, 0xFF, 0xFF, 0x00});
  for (int i = 0; i < 3; i++) Append(B, CompressedBlock(0x0C, 0x30000));
  const size_t Chain = B.size();  // 8191 blocks: 262143 short of INT32_MAX
  Append(B, StoredBlock(0x4C, 262143));  // runs to the end of the data
  SI R = Detect(B);
  EXPECT_EQ(R.CSize, int32_t(B.size()));
  EXPECT_EQ(R.DSize, INT32_MAX);
  B.resize(Chain);
  Append(B, StoredBlock(0x4C, 262144));
  Append(B, StoredBlock(0x4C, 10));
  R = Detect(B);
  EXPECT_EQ(R.CSize, 0);
  EXPECT_EQ(R.DSize, 0);
}

TEST(GetOodleSI, Type02FirstBlockChecks) {
  Bytes B = {0x8C, 0x02, 0x00, 0x40, 0x0F};  // 16-bit field 0x40: L = 69
  B.resize(69, 0x00);
  Append(B, {0x00});
  SI R = Detect(B);
  EXPECT_EQ(R.CSize, 69);
  EXPECT_EQ(R.PCodec, 0);
  B[4] = 0xF3;
  EXPECT_EQ(Detect(B).CSize, 69);
  B[4] = 0x33;
  EXPECT_EQ(Detect(B).CSize, 0);
  B[4] = 0x0F, B[2] = 0x10;
  EXPECT_EQ(Detect(B).CSize, 0);
}

TEST(GetOodleSI, FullStoredBlocksChain) {
  Bytes B = CompressedBlock(0x8C, 100);
  Append(B, StoredBlock(0x4C, 262144));
  Append(B, StoredBlock(0x4C, 262144));
  B.resize(B.size() + 10, 0x00);
  SI R = Detect(B);
  // The first stored block is full (4C 06 follows); the second has no header
  // after it, so the chain ends before it.
  EXPECT_EQ(R.CSize, 100 + 262146);
  EXPECT_EQ(R.DSize, 2 * 262144);

  // A new stream (8C) inside the second stored block ends it there.
  const size_t Second = 100 + 262146;
  B[Second + 1000] = 0x8C, B[Second + 1001] = 0x0A;
  R = Detect(B);
  EXPECT_EQ(R.CSize, int32_t(Second + 1000));
  EXPECT_EQ(R.DSize, 2 * 262144 + 998);

  // A following block (0C) found there continues the chain.
  Bytes C = B;
  const Bytes Next = CompressedBlock(0x0C, 20);
  std::copy(Next.begin(), Next.end(), C.begin() + Second + 1000);
  R = Detect(C);
  EXPECT_EQ(R.CSize, int32_t(Second + 1000 + 20));
  EXPECT_EQ(R.DSize, 3 * 262144 + 998);

  // A compressed header at offset 0x40000 of the stored block ends the chain before it.
  Bytes D(B.begin(), B.end());
  D[Second + 0x40000] = 0x0C, D[Second + 0x40001] = 0x0A;
  EXPECT_EQ(Detect(D).CSize, int32_t(Second));
}

TEST(GetOodleSI, StoredFirstBlockIsCodecClassOne) {
  Bytes B = StoredBlock(0xCC, 262144);
  Append(B, {0x0C, 0x00, 0x00});
  SI R = Detect(B);
  EXPECT_EQ(R.CSize, 262146);
  EXPECT_EQ(R.DSize, 262144);
  EXPECT_EQ(R.PCodec, 1);

  B[262146] = 0x55;  // not full: a first stored block yields no stream
  R = Detect(B);
  EXPECT_EQ(R.CSize, 0);
  EXPECT_EQ(R.PCodec, 0);
  B[1] = 0x0A;
  EXPECT_EQ(Detect(B).CSize, 0);
}

// A stored block that starts less than 0x40002 bytes before the end of the
// data ends at the first header inside it, or else at the end of the data.
TEST(GetOodleSI, StoredBlockNearTheEndOfTheData) {
  Bytes B = CompressedBlock(0x8C, 100);
  Append(B, StoredBlock(0x4C, 1000));
  SI R = Detect(B);
  EXPECT_EQ(R.CSize, 1102);
  EXPECT_EQ(R.DSize, 262144 + 1000);

  B[100 + 500] = 0x8C, B[100 + 501] = 0x0A;
  R = Detect(B);
  EXPECT_EQ(R.CSize, 600);
  EXPECT_EQ(R.DSize, 262144 + 498);

  // Only the two header bytes left: nothing stored, the chain ends before it.
  Bytes C = CompressedBlock(0x8C, 100);
  Append(C, {0x4C, 0x06});
  EXPECT_EQ(Detect(C).CSize, 100);

  // A first stored block must be full.
  Bytes D = StoredBlock(0xCC, 1000);
  EXPECT_EQ(Detect(D).CSize, 0);
}

TEST(FindStreamStart, MatchesAPlainSearch) {
  static const uint8_t Interesting[] = {0x8C, 0xCC, 0x02, 0x06, 0x0A, 0x0C, 0x86, 0x8A, 0x8C, 0x82, 0x4C, 0x0E};
  auto IsType = [](uint8_t B) { return B == 0x02 || B == 0x06 || B == 0x0A || B == 0x0C || B == 0x86 || B == 0x8A || B == 0x8C; };
  std::mt19937 Rng(5);
  for (int Round = 0; Round < 3000; Round++) {
    Bytes B(Rng() % 300);
    for (auto& V : B) V = Rng() % 2 ? Interesting[Rng() % 12] : uint8_t(Rng());
    const size_t From = B.empty() ? 0 : Rng() % B.size();
    size_t Expected = From;
    while (Expected < B.size() &&
           !((B[Expected] == 0x8C || B[Expected] == 0xCC) && (Expected + 1 == B.size() || IsType(B[Expected + 1]))))
      Expected++;
    ASSERT_EQ(From + FindStreamStart(B.data() + From, B.size() - From), Expected) << "round " << Round;
  }
}

// Every stand-in stream is found at its offset with its exact length, and a
// scan that jumps between candidates finds what a byte-by-byte scan finds.
TEST(GetOodleSI, FindsStandInStreamsEmbeddedInRandomBytes) {
  std::mt19937 Rng(99);
  const int Rounds = 60 / SanitizerDivisor + 4;
  for (int Round = 0; Round < Rounds; Round++) {
    const size_t RawSize = 200 + Rng() % (Round % 4 == 0 ? 1500000 : 20000);
    const Bytes Stream = Compress(CompressibleBytes(RawSize, Rng()), int32_t(1 + Rng() % 9));
    Bytes B = RandomBytes(Rng() % 70000, Rng());
    const size_t Offset = B.size() ? Rng() % B.size() : 0;
    B.insert(B.begin() + Offset, Stream.begin(), Stream.end());
    const size_t After = Offset + Stream.size();
    if (After < B.size() && (B[After] == 0x0C || B[After] == 0x4C)) B[After] = 0x00;

    SCOPED_TRACE("round " + std::to_string(Round));
    const SI R = Detect(B.data() + Offset, B.size() - Offset);
    EXPECT_EQ(R.CSize, int32_t(Stream.size()));
    EXPECT_EQ(R.DSize, int32_t((RawSize + 262143) / 262144 * 262144));
    EXPECT_EQ(R.PCodec, 2);

    std::vector<std::pair<size_t, int32_t>> Slow, Fast;
    for (size_t Pos = 0; Pos < B.size(); Pos++) {
      const SI S = Detect(B.data() + Pos, B.size() - Pos);
      if (S.CSize > 0) Slow.emplace_back(Pos, S.CSize);
    }
    for (size_t Pos = FindStreamStart(B.data(), B.size()); Pos < B.size();
         Pos += 1 + FindStreamStart(B.data() + Pos + 1, B.size() - Pos - 1)) {
      const SI S = Detect(B.data() + Pos, B.size() - Pos);
      if (S.CSize > 0) Fast.emplace_back(Pos, S.CSize);
    }
    EXPECT_EQ(Slow, Fast);
    EXPECT_NE(std::find(Fast.begin(), Fast.end(), std::make_pair(Offset, int32_t(Stream.size()))), Fast.end());
  }
}

}  // namespace
