// The sliding input window.
#include <gtest/gtest.h>

#include <cstring>

#include "DataStore.h"
#include "test_data.h"

namespace {

// An input that hands out its bytes in uneven pieces, like a pipe.
class PieceStream : public TStream {
 public:
  explicit PieceStream(const Bytes& Data) : FData(Data) {}
  int32_t Read(void* Buffer, int32_t Count) override {
    const size_t N = std::min<size_t>({size_t(Count), FData.size() - FAt, 1 + FRng() % 40000});
    if (N > 0) std::memcpy(Buffer, FData.data() + FAt, N);
    FAt += N;
    Reads++;
    return int32_t(N);
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  int64_t Seek(int64_t, TSeekOrigin) override { return -1; }
  int Reads = 0;

 private:
  const Bytes& FData;
  size_t FAt = 0;
  std::mt19937 FRng{1};
};

struct Window {
  int64_t Position;
  int64_t Size;
  bool Done;
};

// Runs the encoder's loop and checks that every window shows the input at its
// position.
std::vector<Window> Windows(const Bytes& Input, int64_t SlotSize) {
  PieceStream In(Input);
  TDataStore DS(In, true, 1, SlotSize);
  std::vector<Window> Out;
  while (!DS.Done()) {
    DS.Load();
    TMemoryStreamEx& W = DS.Slot(0);
    const int64_t At = DS.Position(0);
    EXPECT_EQ(W.Size(), std::min<int64_t>(2 * SlotSize, std::max<int64_t>(0, int64_t(Input.size()) - At)));
    EXPECT_TRUE(std::equal(W.Memory(), W.Memory() + W.Size(), Input.begin() + At));
    Out.push_back({At, W.Size(), DS.Done()});
    if (Out.size() > 1000) break;
  }
  return Out;
}

TEST(TDataStore, WindowsAdvanceByOneSlot) {
  const int64_t Slot = 100000;
  for (size_t Size : {size_t(0), size_t(1), size_t(99999), size_t(100000), size_t(200000), size_t(200001),
                      size_t(345678), size_t(1000000)}) {
    SCOPED_TRACE("size " + std::to_string(Size));
    const Bytes Input = RandomBytes(Size, uint32_t(Size));
    const auto W = Windows(Input, Slot);
    // Blocks are scanned from each window's start up to one slot: together
    // they must cover the whole input exactly once.
    int64_t Covered = 0;
    for (size_t i = 0; i < W.size(); i++) {
      EXPECT_EQ(W[i].Position, int64_t(i) * Slot);
      Covered += std::min(W[i].Size, Slot);
      EXPECT_EQ(W[i].Done, i + 1 == W.size());
    }
    EXPECT_EQ(Covered, int64_t(Size));
  }
}

TEST(TDataStore, ShortInputGivesOneWindowThenAnEmptyOne) {
  const Bytes Input = RandomBytes(12345, 1);
  const auto W = Windows(Input, 100000);
  ASSERT_EQ(W.size(), 2u);
  EXPECT_EQ(W[0].Size, 12345);
  EXPECT_FALSE(W[0].Done);
  EXPECT_EQ(W[1].Size, 0);
  EXPECT_TRUE(W[1].Done);
}

TEST(TDataStore, SixtyFourMiBGiveThreeWindows) {
  const int64_t ChunkSize = 0x2000000;
  const Bytes Input = RandomBytes(size_t(2 * ChunkSize), 2);
  const auto W = Windows(Input, ChunkSize);
  ASSERT_EQ(W.size(), 3u);
  EXPECT_EQ(W[0].Size, 2 * ChunkSize);
  EXPECT_EQ(W[1].Size, ChunkSize);
  EXPECT_EQ(W[2].Size, 0);
  EXPECT_FALSE(W[1].Done);
  EXPECT_TRUE(W[2].Done);
}

TEST(TDataStore, StaticSlotsAreDisjoint) {
  const Bytes Input = RandomBytes(250, 3);
  PieceStream In(Input);
  TDataStore DS(In, false, 2, 100);
  DS.Load();
  EXPECT_EQ(DS.Position(0), 0);
  EXPECT_EQ(DS.Position(1), 100);
  EXPECT_EQ(DS.Slot(0).Size(), 100);
  EXPECT_EQ(DS.Slot(1).Size(), 100);
  EXPECT_TRUE(std::equal(Input.begin() + 100, Input.begin() + 200, DS.Slot(1).Memory()));
  EXPECT_FALSE(DS.Done());
  DS.Load();
  EXPECT_EQ(DS.Position(0), 200);
  EXPECT_EQ(DS.Slot(0).Size(), 50);
  EXPECT_EQ(DS.Slot(1).Size(), 0);
  EXPECT_TRUE(std::equal(Input.begin() + 200, Input.end(), DS.Slot(0).Memory()));
  EXPECT_TRUE(DS.Done());
}

}  // namespace
