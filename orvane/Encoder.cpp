#include "Encoder.h"

#include <algorithm>
#include <unistd.h>

#include "BufferedStreams.h"
#include "Container.h"
#include "Crc32.h"
#include "OodleDetect.h"
#include "LevelSearch.h"

namespace {

// Scan position state that lives across blocks.
struct TBlockState {
  int32_t BlockSize;
  int64_t GroupLimit;
  // Absolute input offset where the last stream accepted by the overlap pass ends.
  int64_t StartPosition1 = 0;
  // Bytes at the start of the next block already covered by the last stream of
  // the previous one.
  int64_t StartPosition2 = 0;
};

void ProbePosition(const uint8_t* Window, int32_t W, int32_t& Pos) {
  int32_t X = 0, Y = 0, Z = 0;
  try {
    GetOodleSI(Window + Pos, W - Pos, X, Y, Z, true);
    if (X > 0 && (Z == 0 || Z == 2)) {
      uint8_t* Scratch = GrowScratch(*Work[0], 2 * static_cast<int64_t>(Y));
      Y = GetOodleUS(Window + Pos, X, Scratch, Y);
      if (X < Y) {
        const int64_t Offset = Store->GetPosition();
        const uint32_t Crc = Crc32(Window + Pos, static_cast<size_t>(X));
        Store->WriteBuffer(Scratch, Y);
        Info->Add();
        Info->Insert(EncWindowOffset, static_cast<uint32_t>(Pos));
        Info->Insert(EncStoreOffset, static_cast<uint32_t>(Offset));
        Info->Insert(EncPackedLength, static_cast<uint32_t>(X));
        Info->Insert(EncPlainLength, static_cast<uint32_t>(Y));
        Info->Insert(EncCrc, Crc);
        Pos += X;
        return;
      }
    }
  } catch (...) {
    // Whatever went wrong, this position starts no usable stream.
  }
  Pos += 1;
}

// Jumps from one possible stream start to the next: the positions skipped are
// ones where detection would find nothing, so the rows are those of probing
// every byte, at close to the speed of a plain byte search.
void Scan(const uint8_t* Window, int32_t W, int32_t Size) {
  // A stream may end past Size (in the look-ahead), so Pos can overshoot it.
  for (int32_t Pos = 0; Pos < Size;) {
    Pos += static_cast<int32_t>(FindStreamStart(Window + Pos, static_cast<size_t>(Size - Pos)));
    if (Pos < Size) ProbePosition(Window, W, Pos);
  }
}

// Drops rows that start inside a stream accepted before them, in this block or
// (through StartPosition1) in the previous one.
void RemoveOverlaps(TBlockState& State) {
  const int64_t Base = DS->Position(0);
  for (int32_t Row = 0; Row < Info->Count(); ++Row) {
    const int64_t Start = Base + Info->Get(Row, EncWindowOffset);
    if (State.StartPosition1 > Start)
      Info->Update(Row, EncOverlap, 1);
    else
      State.StartPosition1 = Start + Info->Get(Row, EncPackedLength);
  }
  Info->RemoveWhere(EncOverlap, 1);
}

void SearchLevels() {
  if (Info->Count() == 0) return;  // spares the workers a wake-up per stream-free block
  T1.store(-1);
  T2.store(-1);
  for (auto& Worker : Task) {
    Worker->Perform(Compress);
    Worker->Start();
  }
  WaitForAll(Task);
  Info->RemoveWhere(EncLevel, 0);
}

// One past the last row of the group that starts at row First.
int32_t CutGroup(int32_t First, int64_t GroupLimit) {
  int64_t Sum = 0;
  int32_t Last = First;
  for (int32_t Row = First; Row < Info->Count(); ++Row) {
    const int64_t Length = Info->Get(Row, EncPlainLength);
    if (Sum == 0 && Length > GroupLimit) return Row + 1;
    if (Sum + Length > GroupLimit) break;
    Sum += Length;
    Last = Row + 1;
  }
  return Last;
}

void WriteGroups(TContainerWriter& Writer, const uint8_t* Window, int32_t W, TBlockState& State) {
  const int32_t Count = Info->Count();
  const int64_t End = std::min<int64_t>(W, State.BlockSize);
  int64_t K = State.StartPosition2;  // block offset up to which the input is written
  for (int32_t A = 0; A < Count;) {
    const int32_t B = CutGroup(A, State.GroupLimit);

    Writer.GroupCount(B - A);
    int64_t Total = 0;
    for (int32_t Row = A; Row < B; ++Row) {
      Writer.GroupEntry(static_cast<int32_t>(Info->Get(Row, EncLevel)),
                        static_cast<int32_t>(Info->Get(Row, EncPlainLength)));
      Total += Info->Get(Row, EncPlainLength);
    }
    Writer.GroupTotal(Total);
    for (int32_t Row = A; Row < B; ++Row)
      Writer.Contents(Store->Memory() + Info->Get(Row, EncStoreOffset),
                      static_cast<int32_t>(Info->Get(Row, EncPlainLength)));

    for (int32_t Row = A; Row <= B; ++Row) {
      int64_t Gap;
      if (Row < Count && Row == B)
        Gap = 0;  // closing run of a group that is not the block's last
      else if (Row == Count)
        Gap = State.StartPosition2 > 0 ? 0 : End - K;
      else
        Gap = Info->Get(Row, EncWindowOffset) - K;
      Writer.Run(Window + K, static_cast<int32_t>(std::max<int64_t>(Gap, 0)));
      if (Row < B || B == Count) {
        K += Gap + (Row < Count ? Info->Get(Row, EncPackedLength) : 0);
        if (Row + 1 == Count) State.StartPosition2 = std::max<int64_t>(0, K - State.BlockSize);
      }
    }
    A = B;
  }
}

void WriteNoStreamRecord(TContainerWriter& Writer, const uint8_t* Window, int32_t W,
                         TBlockState& State) {
  const int64_t End = std::min<int64_t>(W, State.BlockSize);
  if (State.StartPosition2 != 0 || End != 0)
    Writer.RawRecord(Window + State.StartPosition2,
                     static_cast<int32_t>(std::max<int64_t>(End - State.StartPosition2, 0)));
  State.StartPosition2 = 0;
}

}  // namespace

void Encode(int32_t BlockSize, int64_t GroupLimit) {
  THandleStream In(STDIN_FILENO);
  WidenPipe(STDIN_FILENO, 1 << 20);
  TBufferedOutputStream Out(STDOUT_FILENO);
  TStateGuard Guard;
  Input = &In;
  Output = &Out;
  ClearAbort();
  Store = std::make_unique<TMemoryStream>();
  DS = std::make_unique<TDataStore>(In, true, 1, BlockSize);
  Info = std::make_unique<TInfo>(EncInfCount);
  CreateWorkers();

  TContainerWriter Writer(Out);
  TBlockState State{BlockSize, GroupLimit};
  while (!DS->Done()) {
    DS->Load();
    TMemoryStreamEx& Window = DS->Slot(0);
    const int32_t W = static_cast<int32_t>(Window.Size());
    Scan(Window.Memory(), W, std::min(W, BlockSize));
    RemoveOverlaps(State);
    SearchLevels();
    if (Info->Count() > 0)
      WriteGroups(Writer, Window.Memory(), W, State);
    else
      WriteNoStreamRecord(Writer, Window.Memory(), W, State);
    Store->SetPosition(0);  // the memory is reused by the next block
    Info->Reset();
  }
  FreeWorkers();
  Writer.EndRecord();
  Out.Flush();
}
