// Memory streams, the stream base's exact transfers, and descriptor streams.
#include <gtest/gtest.h>
#include <unistd.h>

#include <numeric>
#include <thread>

#include "MemoryStreams.h"
#include "test_data.h"

namespace {

TEST(TMemoryStreamEx, NeverGrowsBeyondItsMemory) {
  Bytes Memory(100, 0xEE);
  TMemoryStreamEx S(Memory.data(), 100);
  EXPECT_EQ(S.Size(), 0);
  const Bytes Data = RandomBytes(150, 1);
  EXPECT_EQ(S.Write(Data.data(), 150), 100);  // cut at the capacity
  EXPECT_EQ(S.Size(), 100);
  EXPECT_TRUE(std::equal(Memory.begin(), Memory.end(), Data.begin()));
  EXPECT_THROW(S.WriteBuffer(Data.data(), 1), EWriteError);
  S.SetPosition(90);
  EXPECT_THROW(S.WriteBuffer(Data.data(), 20), EWriteError);

  S.SetSize(200);  // above the capacity: ignored
  EXPECT_EQ(S.Size(), 100);
  S.SetPosition(80);
  S.SetSize(50);  // the position was past the new end: moved to it
  EXPECT_EQ(S.Size(), 50);
  EXPECT_EQ(S.Position(), 50);
  S.SetPosition(10);
  S.SetSize(60);
  EXPECT_EQ(S.Position(), 10);
}

TEST(TMemoryStreamEx, ReadAndSeekWithoutClamping) {
  Bytes Memory = RandomBytes(64, 2);
  TMemoryStreamEx S(Memory.data(), 64);
  S.SetSize(40);
  uint8_t Buffer[64];
  EXPECT_EQ(S.Seek(-5, soBeginning), -5);
  EXPECT_EQ(S.Read(Buffer, 10), 0);
  EXPECT_EQ(S.Seek(0, soEnd), 40);
  EXPECT_EQ(S.Seek(7, soCurrent), 47);
  EXPECT_EQ(S.Read(Buffer, 10), 0);
  S.SetPosition(30);
  EXPECT_EQ(S.Read(Buffer, 64), 10);  // cut at the size
  EXPECT_TRUE(std::equal(Buffer, Buffer + 10, Memory.begin() + 30));
  EXPECT_EQ(S.Position(), 40);
  S.SetPosition(0);
  EXPECT_EQ(S.Read(Buffer, 5), 5);
  EXPECT_THROW(S.ReadBuffer(Buffer, 36), EReadError);
  S.SetPosition(70);  // writing past the capacity writes nothing
  EXPECT_EQ(S.Write(Buffer, 1), 0);
}

TEST(TMemoryStream, GrowsAndKeepsItsContents) {
  TMemoryStream S;
  Bytes Expected;
  std::mt19937 Rng(3);
  for (int i = 0; i < 200; i++) {
    const Bytes Piece = RandomBytes(Rng() % 5000, Rng());
    S.WriteBuffer(Piece.data(), int64_t(Piece.size()));
    Expected.insert(Expected.end(), Piece.begin(), Piece.end());
  }
  ASSERT_EQ(S.Size(), int64_t(Expected.size()));
  EXPECT_TRUE(std::equal(Expected.begin(), Expected.end(), S.Memory()));
  S.SetSize(10);
  EXPECT_EQ(S.Position(), 10);
  S.SetSize(1 << 20);
  EXPECT_GE(S.Capacity(), 1 << 20);
  EXPECT_TRUE(std::equal(Expected.begin(), Expected.begin() + 10, S.Memory()));
}

TEST(TStream, CopyFromAndSaveToStreamMoveExactCounts) {
  const Bytes Data = RandomBytes(300000, 4);
  TMemoryStream Source;
  Source.WriteBuffer(Data.data(), int64_t(Data.size()));
  Source.SetPosition(1000);
  TMemoryStream Target;
  Target.CopyFrom(Source, 0);  // nothing, not the whole source
  EXPECT_EQ(Target.Size(), 0);
  Target.CopyFrom(Source, 200000);
  ASSERT_EQ(Target.Size(), 200000);
  EXPECT_TRUE(std::equal(Data.begin() + 1000, Data.begin() + 201000, Target.Memory()));
  EXPECT_THROW(Target.CopyFrom(Source, 100000), EReadError);  // only 99,000 left

  Bytes Window(500);
  TMemoryStreamEx View(Window.data(), 500);
  View.WriteBuffer(Data.data(), 123);
  TMemoryStream Saved;
  View.SaveToStream(Saved);
  EXPECT_EQ(Saved.Size(), 123);
  EXPECT_TRUE(std::equal(Data.begin(), Data.begin() + 123, Saved.Memory()));
}

// Pipes deliver data in pieces; exact reads must wait for all of it.
TEST(THandleStream, ReadBufferCollectsPipePieces) {
  int Fds[2];
  ASSERT_EQ(pipe(Fds), 0);
  const Bytes Data = RandomBytes(200000, 5);
  std::thread Writer([&] {
    THandleStream Out(Fds[1]);
    for (size_t At = 0; At < Data.size(); At += 7000) {
      Out.WriteBuffer(Data.data() + At, int64_t(std::min<size_t>(7000, Data.size() - At)));
      if (At % 70000 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    close(Fds[1]);
  });
  THandleStream In(Fds[0]);
  Bytes Got(Data.size());
  In.ReadBuffer(Got.data(), int64_t(Got.size()));
  EXPECT_EQ(Got, Data);
  uint8_t Extra;
  EXPECT_THROW(In.ReadBuffer(&Extra, 1), EReadError);  // end of data
  Writer.join();
  close(Fds[0]);

  THandleStream Bad(-1);
  EXPECT_THROW(Bad.Read(&Extra, 1), EReadError);  // an error is not the end of data
}

}  // namespace
