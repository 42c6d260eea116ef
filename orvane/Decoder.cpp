#include "Decoder.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "BufferedStreams.h"
#include "ChecksumStream.h"
#include "Container.h"
#include "LevelSearch.h"
#include "OodleDLL.h"
#include "ProgramState.h"
#include "os/Os.h"

namespace {

constexpr int32_t ReadPiece = 65536;
// The writer's pause while it waits for a worker to finish a stream.
constexpr int32_t WriterPollMs = 10;

// Every stream as the writer put it out, for the check against the trailer:
// where it starts in the rebuilt input, its CRC-32, its level, and whether the
// codec failed on it (nothing was written for it then).
struct TRebuiltStream {
  int64_t Offset;
  uint32_t Crc;
  int8_t Level;
  bool Failed;
};
std::vector<TRebuiltStream> Rebuilt;

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
      const int64_t At = Output->GetPosition();
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
      Rebuilt.push_back({At, Info->Get(Row, DecCrc), static_cast<int8_t>(Info->Get(Row, DecLevel)),
                         Info->Get(Row, DecPackedLength) == 0});
      Reader.Copy(*Output, Reader.Length());
    }
  });
}

namespace {

std::string Stream(const TRebuiltStream& S) {
  return "the stream at input offset " + std::to_string(S.Offset) + " (level " + std::to_string(S.Level) + ")";
}

// A container of the plain layout proves nothing, but a stream that the codec
// failed on is missing from the output.
void CheckRebuilt() {
  for (const TRebuiltStream& S : Rebuilt)
    if (S.Failed)
      throw EContainerError(Stream(S) + " could not be rebuilt: the codec library gave nothing, or more bytes "
                                        "than its contents");
}

// Reads the trailer after the checked end record at RecordOffset and compares
// it with what was read and rebuilt. Container is the hashed input, Output the
// hashed output. A container checksum that holds rules out damage, so a
// stream that still comes back different was rebuilt by another codec.
void CheckTrailer(TContainerReader& Reader, const TChecksumStream& Container, const TChecksumStream& Output,
                  int64_t RecordOffset) {
  const int64_t Length = Reader.Int64();
  const uint32_t InputCrc = Reader.Crc();
  const int64_t CountAt = Reader.Offset();
  const int64_t Streams = Reader.Int64();
  if (Streams != static_cast<int64_t>(Rebuilt.size()))
    throw EContainerError("damaged container: the trailer" + At(CountAt) + " counts " + std::to_string(Streams) +
                          " streams, the container holds " + std::to_string(Rebuilt.size()));
  const TRebuiltStream* FirstDifferent = nullptr;
  for (const TRebuiltStream& S : Rebuilt)
    if ((Reader.Crc() != S.Crc || S.Failed) && FirstDifferent == nullptr) FirstDifferent = &S;
  const uint32_t ContainerCrc = Container.Crc();
  const bool ContainerSound = Reader.Crc() == ContainerCrc;
  Reader.ExpectEnd(RecordOffset);
  const bool OutputSound = Output.Count() == Length && Output.Crc() == InputCrc;
  if (ContainerSound && OutputSound && FirstDifferent == nullptr) return;

  if (!ContainerSound) {
    // The contents or the recorded CRC may be what was damaged.
    std::string Message = "damaged container: its checksum does not match";
    if (FirstDifferent != nullptr)
      Message += ", and " + Stream(*FirstDifferent) +
                 (FirstDifferent->Failed ? " could not be rebuilt" : " does not match its recorded CRC-32");
    else if (!OutputSound)
      Message += ", and the rebuilt input differs from the original";
    throw EVerifyError(Message);
  }
  if (FirstDifferent != nullptr)
    throw EVerifyError(Stream(*FirstDifferent) +
                       (FirstDifferent->Failed ? " could not be rebuilt" : " came back different") +
                       ": the codec library is likely another release than the one that made the container");
  throw EVerifyError("the rebuilt input does not match the checksum of the original");
}

// Runs Decode on standard input; what was decoded before a failure still
// reaches Out, as a decompressor's output does.
bool DecodeStandardInput(TStream& Out, TBufferedOutputStream* Buffered) {
  TBufferedInputStream In(Os::StandardInput);
  bool Verified;
  try {
    Verified = Decode(In, Out);
  } catch (...) {
    if (Buffered != nullptr) {
      try {
        Buffered->Flush();
      } catch (...) {
        // The failure on its way is the one to report.
      }
    }
    throw;
  }
  if (Buffered != nullptr) Buffered->Flush();
  return Verified;
}

}  // namespace

bool Decode() {
  TBufferedOutputStream Out(Os::StandardOutput);
  return DecodeStandardInput(Out, &Out);
}

bool Test() {
  TNullStream Out;
  return DecodeStandardInput(Out, nullptr);
}

bool Decode(TStream& In, TStream& Out) {
  TStateGuard Guard;
  TChecksumStream Container(In);
  TChecksumStream Output(Out);
  BeginMode(Container, Output, DecInfCount);
  Task2 = std::make_unique<TTask>();
  Task3 = std::make_unique<TTask>();

  // The list lives as long as one decode: a container of many small streams
  // would otherwise hold its memory after it.
  struct TReleaseRebuilt {
    ~TReleaseRebuilt() { std::vector<TRebuiltStream>().swap(Rebuilt); }
  } Release;

  TContainerReader Reader(Container);
  for (;;) {
    const int64_t RecordOffset = Reader.Offset();
    const int32_t Count = Reader.Count();
    if (Count == PlainEnd) {
      Reader.ExpectEnd(RecordOffset);
      FreeState();
      CheckRebuilt();
      return false;
    }
    if (Count == CheckedEnd) {
      FreeState();
      CheckTrailer(Reader, Container, Output, RecordOffset);
      return true;
    }
    if (Count < 0)
      throw EContainerError("damaged container: unknown end record " + std::to_string(Count) + At(RecordOffset));
    if (Count == 0)
      Reader.Copy(Output, Reader.Length());
    else
      DecodeGroup(Reader, Count, RecordOffset);
    Info->Reset();
  }
}
