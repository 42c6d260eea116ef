#include "Decoder.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "BufferedStreams.h"
#include "Container.h"
#include "LevelSearch.h"
#include "OodleDLL.h"
#include "ProgramState.h"
#include "os/Os.h"

namespace {

constexpr int32_t ReadPiece = 65536;
// The writer's pause while it waits for a worker to finish a stream.
constexpr int32_t WriterPollMs = 10;

void GrowCompleted(int32_t Count) {
  if (Count > CompletedCapacity) {
    Completed.reset(new std::atomic<bool>[static_cast<size_t>(Count)]);
    CompletedCapacity = Count;
  }
  for (int32_t i = 0; i < Count; ++i) Completed[i].store(false, std::memory_order_relaxed);
}

// Leaving a group by an exception (a task that cannot be started, a failed
// allocation) would otherwise leave the tasks already running waiting for
// progress that never comes, and the thread that joins them with it: so the
// abort flag goes up on that path whatever threw, and every task is waited for
// before the exception travels on.
class TAbortOnUnwind {
 public:
  TAbortOnUnwind() = default;
  TAbortOnUnwind(const TAbortOnUnwind&) = delete;
  TAbortOnUnwind& operator=(const TAbortOnUnwind&) = delete;
  ~TAbortOnUnwind() {
    if (std::uncaught_exceptions() <= FPending) return;
    Abort("decoding stopped");
    std::vector<TTask*> All;
    for (auto& Worker : Task) All.push_back(Worker.get());
    All.push_back(Task2.get());
    All.push_back(Task3.get());
    try {
      WaitForAll(All);
    } catch (...) {
      // The error already on its way is the one to report.
    }
  }

 private:
  const int FPending = std::uncaught_exceptions();
};

std::string At(int64_t Offset) { return " at offset " + std::to_string(Offset); }

// Reads the entries and the total of a group into Info; returns the total.
int64_t ReadGroupHeader(TContainerReader& Reader, int32_t Count) {
  int64_t Sum = 0;
  for (int32_t i = 0; i < Count; ++i) {
    Info->Add();
    Info->Insert(DecStoreOffset, static_cast<uint32_t>(Sum));
    const int64_t Entry = Reader.Offset();
    const int32_t Lvl = Reader.Level();
    const int32_t Length = Reader.Length();
    if (Lvl < 1 || Lvl > 9)
      throw EContainerError("inconsistent container: level " + std::to_string(Lvl) + " in the entry" + At(Entry));
    Info->Insert(DecLevel, static_cast<uint32_t>(Lvl));
    Info->Insert(DecPlainLength, static_cast<uint32_t>(Length));
    Sum += Length;
    // Offsets in a row are 32-bit, and no encoder group comes near this.
    if (Sum > INT32_MAX) throw EContainerError("inconsistent container: group too large" + At(Entry));
  }
  const int64_t TotalAt = Reader.Offset();
  if (Reader.Total() != Sum)
    throw EContainerError("inconsistent container: group total" + At(TotalAt) + " does not match its streams");
  return Sum;
}

void DecodeGroup(TContainerReader& Reader, int32_t Count, int64_t RecordOffset) {
  GroupOffset = RecordOffset;
  if (OodleDLL::OodleLZ_Compress == nullptr)
    throw EContainerError("the stream group" + At(RecordOffset) +
                          " cannot be rebuilt: no codec library beside the program");
  // The entries are read before the flags are sized: a damaged count must end
  // at the missing entries instead of reserving room for them first.
  const int64_t Total = ReadGroupHeader(Reader, Count);
  GrowCompleted(Count);

  // Grown before the reader starts, so the memory stays put while the other
  // threads work in it.
  try {
    Store->SetSize(Total);
  } catch (const std::bad_alloc&) {
    throw std::runtime_error("cannot allocate " + std::to_string(Total) +
                             " bytes for the contents of the stream group" + At(RecordOffset));
  }
  Store->SetPosition(0);
  GroupCount = Count;
  GroupTotal = Total;
  C.store(0, std::memory_order_release);

  // Failures of the tasks come back through the abort flag; a failure on this
  // thread raises it through the guard.
  TAbortOnUnwind Guard;
  Task3->Perform(ReadInput);
  Task3->Start();
  Task2->Perform(WriteOutput);
  Task2->Start();
  if (Task.size() > 1) RunWorkers(Recompress);
  Task2->Wait();
  Task3->Wait();
  if (Aborted()) throw EContainerError(AbortMessage());
}

template <typename Procedure>
void Guarded(Procedure Body) {
  try {
    Body();
  } catch (const std::exception& Error) {
    Abort(Error.what());
  } catch (...) {
    Abort("unexpected failure");
  }
}

}  // namespace

void ReadInput() {
  Guarded([] {
    TContainerReader Reader(*Input);
    uint8_t* Contents = Store->Memory();
    for (int64_t Done = 0; Done < GroupTotal;) {
      if (Aborted()) return;
      const int64_t Piece = std::min<int64_t>(GroupTotal - Done, ReadPiece);
      Reader.Bytes(Contents + Done, Piece);
      Done += Piece;
      C.store(Done, std::memory_order_release);
    }
  });
}

void WriteOutput() {
  Guarded([] {
    // Input belongs to the reader until the whole of the contents is in.
    while (C.load(std::memory_order_acquire) < GroupTotal) {
      if (Aborted()) return;
      SleepMs(1);
    }
    TContainerReader Reader(*Input);
    Reader.Copy(*Output, Reader.Length());
    const bool OwnWorkers = Task.size() > 1;
    for (int32_t Row = 0; Row < GroupCount; ++Row) {
      if (OwnWorkers) {
        while (!Completed[Row].load(std::memory_order_acquire)) {
          if (Aborted()) return;
          SleepMs(WriterPollMs);
        }
        Output->WriteBuffer(Store->Memory() + Info->Get(Row, DecStoreOffset),
                            Info->Get(Row, DecPackedLength));
      } else {
        const int32_t Length = RebuildStream(Row, *Work[0]);
        Output->WriteBuffer(Work[0]->Memory(), Length);
      }
      Reader.Copy(*Output, Reader.Length());
    }
  });
}

void Decode() {
  TBufferedInputStream In(Os::StandardInput);
  TBufferedOutputStream Out(Os::StandardOutput);
  Decode(In, Out);
  Out.Flush();
}

void Decode(TStream& In, TStream& Out) {
  TStateGuard Guard;
  BeginMode(In, Out, DecInfCount);
  Task2 = std::make_unique<TTask>();
  Task3 = std::make_unique<TTask>();

  TContainerReader Reader(In);
  for (;;) {
    const int64_t RecordOffset = Reader.Offset();
    const int32_t Count = Reader.Count();
    if (Count < 0) {
      Reader.ExpectEnd(RecordOffset);
      break;
    }
    if (Count == 0)
      Reader.Copy(Out, Reader.Length());
    else
      DecodeGroup(Reader, Count, RecordOffset);
    Info->Reset();
  }
  FreeState();
}
