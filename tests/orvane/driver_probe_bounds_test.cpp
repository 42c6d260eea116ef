// What a hostile input can make the encoder's stream scan spend: memory held
// by the worker buffers and Store, and trial-decode work, both counted here.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "Encoder.h"
#include "MemoryStreams.h"
#include "OodleDLL.h"
#include "OodleDetect.h"
#include "counting_decompress.h"
#include "test_data.h"

namespace {

// The encoder's program-wide state over memory streams, with the library
// calls counted, for one scan of Window.
struct ScanFixture {
  CountDecompress Counter;
  TMemoryStream In, Out;
  explicit ScanFixture(const Bytes& Window) {
    BeginMode(In, Out, EncInfCount);
    ScanBlock(Window.data(), int32_t(Window.size()), int32_t(Window.size()));
  }
  ~ScanFixture() { FreeState(); }
  int64_t WorkerMemory() const {
    int64_t Sum = 0;
    for (const auto& Buffer : Work) Sum += Buffer->Capacity();
    return Sum;
  }
};

// A first block of 64 bytes (type 0x0A, one chunk that fills it): a plausible
// stream start that the stand-in cannot decode.
const uint8_t FalseStart[8] = {0x8C, 0x0A, 0x00, 0x00, 0x3A, 0x80, 0x00, 0x38};

// A chain whose estimate is just under 2 GiB: the false start, then 8,190
// following blocks of 6 bytes that each count 256 KiB.
void AppendHugeChain(Bytes& Data) {
  Data.insert(Data.end(), FalseStart, FalseStart + 8);
  Data.resize(Data.size() + 56, 0);
  const uint8_t Short[6] = {0x0C, 0x0A, 0x07, 0xFF, 0xFF, 0x00};
  for (int i = 0; i < 8190; i++) Data.insert(Data.end(), Short, Short + 6);
  Data.resize(Data.size() + 16, 0);
}

TEST(OrvaneScanBounds, HugeEstimatesAllocateNothingLarge) {
  Bytes Window;
  AppendHugeChain(Window);
  AppendHugeChain(Window);
  Window.resize(Window.size() + 530000, 0x22);  // the 6-byte blocks look this far ahead
  int32_t CSize = 0, DSize = 0, PCodec = 0;
  GetOodleSI(Window.data(), int32_t(Window.size()), CSize, DSize, PCodec);
  ASSERT_GT(int64_t(DSize), int64_t(1) << 30) << "the input no longer exercises the limit";
  ASSERT_EQ(PCodec, 2);

  ScanFixture Scan(Window);
  EXPECT_EQ(Info->Count(), 0);
  // The stated bound: per worker twice the longest stream probed (and room
  // for one codec output), Store at most its limit, each grown by at most a
  // quarter past what was asked.
  EXPECT_LE(Scan.WorkerMemory(), int64_t(Work.size()) * OodleDLL::CompressedBufferSize(MaxStreamSize) * 5 / 4);
  EXPECT_LE(Store->Capacity(), StoreLimit * 5 / 4);
  EXPECT_LT(Scan.WorkerMemory(), int64_t(DSize)) << "a probe grew to the estimate";
}

TEST(OrvaneScanBounds, FalseStartsEveryEightBytesCostBoundedWork) {
  // 1 MiB of the false start: 131,072 candidates, each probed at its 256 KiB
  // estimate up to 16 times without a bound (about 4 MiB of decoding per byte).
  Bytes Window;
  while (Window.size() < 1048576) Window.insert(Window.end(), FalseStart, FalseStart + 8);
  ScanFixture Scan(Window);
  EXPECT_EQ(Info->Count(), 0);
  EXPECT_GT(CountDecompress::Bytes.load(), 0) << "nothing was probed";
  EXPECT_LE(CountDecompress::Bytes.load(), ProbeBudget(int64_t(Window.size())));
  // At a few GB/s of trial decoding, 4 KiB per input byte still scans faster
  // than 1 MB/s.
  EXPECT_LE(CountDecompress::Bytes.load(), 4096 * int64_t(Window.size()));
}

TEST(OrvaneScanBounds, OrdinaryStreamStillFound) {
  const Bytes Raw = CompressibleBytes(300000, 17);
  const Bytes Stream = Compress(Raw, 4);
  Bytes Window = RandomBytes(5000, 3);
  Window.insert(Window.end(), Stream.begin(), Stream.end());
  const Bytes Tail = RandomBytes(5000, 4);
  Window.insert(Window.end(), Tail.begin(), Tail.end());
  ScanFixture Scan(Window);
  ASSERT_EQ(Info->Count(), 1);
  EXPECT_EQ(Info->Get(0, EncWindowOffset), 5000u);
  EXPECT_EQ(Info->Get(0, EncPlainLength), uint32_t(Raw.size()));
  EXPECT_EQ(std::memcmp(Store->Memory(), Raw.data(), Raw.size()), 0);
}

}  // namespace
