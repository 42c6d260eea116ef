// The level search: trying a level on the first block alone must never change
// which level is found, only what finding it costs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "LevelSearch.h"
#include "OodleDLL.h"
#include "OodleDetect.h"
#include "ProgramState.h"
#include "driver_samples.h"

namespace {

const uint8_t* U8(const std::string& S) { return reinterpret_cast<const uint8_t*>(S.data()); }

std::string Pack(const std::string& Contents, int Level) {
  std::string Out(size_t(OodleDLL::CompressedBufferSize(int64_t(Contents.size()))), '\0');
  const int32_t N = OodleDLL::OodleCompress(Contents.data(), int32_t(Contents.size()), Out.data(), Level);
  Out.resize(size_t(std::max(N, 0)));
  return Out;
}

// The levels up to Last whose whole-stream trial gives Stream.
std::vector<int32_t> Reproducing(const std::string& Contents, const std::string& Stream, int32_t Last = 9) {
  std::vector<int32_t> Levels;
  for (int32_t Lvl = 1; Lvl <= Last; ++Lvl)
    if (Pack(Contents, Lvl) == Stream) Levels.push_back(Lvl);
  return Levels;
}

// What a search of whole-stream trials answers: First when it reproduces the
// stream, else the lowest level that does, else 0.
int32_t FullSearch(const std::vector<int32_t>& Levels, int32_t First) {
  if (std::find(Levels.begin(), Levels.end(), First) != Levels.end()) return First;
  return Levels.empty() ? 0 : Levels.front();
}

int32_t Search(const std::string& Contents, const std::string& Stream, int32_t First, bool* Rescued = nullptr) {
  std::vector<uint8_t> Buffer(size_t(OodleDLL::CompressedBufferSize(int64_t(Contents.size()))));
  return FindLevel(U8(Contents), int32_t(Contents.size()), U8(Stream), int32_t(Stream.size()), First,
                   Buffer.data(), true, Rescued);
}

// Routes the codec's compress entry through Wrapper while it lives; Real is
// the library's own entry.
struct SwapCompress {
  static inline OodleDLL::TOodleLZ_Compress Real = nullptr;
  explicit SwapCompress(OodleDLL::TOodleLZ_Compress Wrapper) {
    Real = OodleDLL::OodleLZ_Compress;
    OodleDLL::OodleLZ_Compress = Wrapper;
  }
  ~SwapCompress() { OodleDLL::OodleLZ_Compress = Real; }
};

int64_t CompressedBytes = 0;  // raw bytes handed to the codec, the unit of the search's work
intptr_t Counting(int32_t Codec, const void* Buf, intptr_t Len, void* Dst, int32_t Level, const void* Opt,
                  const void* Dict, void* A8) {
  CompressedBytes += Len;
  return SwapCompress::Real(Codec, Buf, Len, Dst, Level, Opt, Dict, A8);
}

// A codec whose first block depends on what follows it: marked when more
// blocks follow, so that no first-block trial ever matches a longer stream.
intptr_t MarksLongStreams(int32_t Codec, const void* Buf, intptr_t Len, void* Dst, int32_t Level, const void* Opt,
                          const void* Dict, void* A8) {
  const intptr_t N = SwapCompress::Real(Codec, Buf, Len, Dst, Level, Opt, Dict, A8);
  if (N > 8 && Len > BlkSize) static_cast<uint8_t*>(Dst)[8] ^= 0x5A;
  return N;
}

TEST(OrvaneLevelSearch, SameAnswerAsWholeStreamTrials) {
  struct Case {
    std::string Contents;
    int Level;
  };
  // One block and a byte, and several blocks; text and records; levels spread
  // over the codec's range.
  const std::vector<Case> Cases = {{samples::TextBytes(BlkSize + 1, 1), 3},
                                   {samples::BinaryBytes(3 * BlkSize - 5000, 2), 6},
                                   {samples::TextBytes(2 * BlkSize + 777, 3), 8}};
  for (const Case& C : Cases) {
    const std::string Stream = Pack(C.Contents, C.Level);
    const std::vector<int32_t> Levels = Reproducing(C.Contents, Stream);
    // Start levels below, at and above the stream's, and the extremes.
    for (int32_t First : {1, 4, C.Level, 9}) {
      SCOPED_TRACE("level " + std::to_string(C.Level) + ", first " + std::to_string(First));
      bool Rescued = true;
      EXPECT_EQ(Search(C.Contents, Stream, First, &Rescued), FullSearch(Levels, First));
      EXPECT_FALSE(Rescued);
    }
  }

  // Damage after the first block: that block still matches at its level, but
  // no level makes the stream.
  const std::string Contents = samples::TextBytes(2 * BlkSize + 100, 4);
  std::string Damaged = Pack(Contents, 3);
  Damaged[Damaged.size() - 3] ^= 0x01;
  EXPECT_EQ(Search(Contents, Damaged, 3), 0);

  // Wrong levels are turned away on the first block: four block trials and
  // one whole stream, instead of five whole streams.
  const std::string Long = samples::TextBytes(8 * BlkSize, 5);
  const std::string Stream = Pack(Long, 5);
  const int32_t Expected = FullSearch(Reproducing(Long, Stream, 5), 1);
  ASSERT_EQ(Expected, 5);
  SwapCompress Swap(&Counting);
  CompressedBytes = 0;
  EXPECT_EQ(Search(Long, Stream, 1), Expected);
  EXPECT_LT(CompressedBytes, 2 * int64_t(Long.size()));
}

TEST(OrvaneLevelSearch, CodecWithContextDependentFirstBlockKeepsItsStreams) {
  SwapCompress Swap(&MarksLongStreams);
  const std::string Contents = samples::BinaryBytes(2 * BlkSize + 10, 6);
  const std::string Stream = Pack(Contents, 5);
  const int32_t Expected = FullSearch(Reproducing(Contents, Stream), 2);
  ASSERT_NE(Expected, 0);
  bool Rescued = false;
  EXPECT_EQ(Search(Contents, Stream, 2, &Rescued), Expected);
  EXPECT_TRUE(Rescued);
}

}  // namespace
