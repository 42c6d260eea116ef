#include "Encoder.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "BufferedStreams.h"
#include "ChecksumStream.h"
#include "os/Os.h"
#include "Container.h"
#include "crc32.h"
#include "OodleDetect.h"
#include "LevelSearch.h"
#include "OodleDLL.h"

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

// A position where detection found a chain of block headers of a codec class
// the encoder keeps, and what probing its exact size gave.
struct TCandidate {
  int32_t Pos;       // offset in the window
  int32_t Packed;    // compressed length of the chain
  int32_t Estimate;  // upper estimate of its decompressed length
  int32_t Plain;     // exact decompressed length, 0 if it does not decode
};

std::vector<TCandidate> Candidates;
const uint8_t* ScanWindow = nullptr;
// Trial-decode bytes the probes of the current block may still spend.
std::atomic<int64_t> ProbeLeft{0};

// Jumps from one possible stream start to the next: the positions skipped are
// ones where detection would find nothing. Candidates inside a stream that
// will be accepted are collected too; the walk below drops them.
//
// Every probe begins with two decodes at the full estimate, so a candidate is
// only taken while the block's budget still holds that first attempt of all
// candidates taken so far. This also bounds how many candidates are kept.
void FindCandidates(const uint8_t* Window, int32_t W, int32_t Size) {
  Candidates.clear();
  const int64_t Budget = ProbeBudget(Size);
  int64_t Planned = 0;
  for (int32_t Pos = 0; Pos < Size; ++Pos) {
    Pos += static_cast<int32_t>(FindStreamStart(Window + Pos, static_cast<size_t>(Size - Pos)));
    if (Pos >= Size) break;
    int32_t X = 0, Y = 0, Z = 0;
    try {
      GetOodleSI(Window + Pos, W - Pos, X, Y, Z, true);
    } catch (...) {
      continue;  // whatever went wrong, this position starts no usable stream
    }
    if (X <= 0 || (Z != 0 && Z != 2) || Y > MaxStreamSize) continue;
    if (Planned + 2 * int64_t(Y) > Budget) continue;
    Planned += 2 * int64_t(Y);
    Candidates.push_back({Pos, X, Y, 0});
  }
  ProbeLeft.store(Budget);
}

// Worker procedure: probing a size costs trial decodes of up to the whole
// estimate, the most expensive part of the scan, so every processor takes
// candidates.
void ProbeCandidates() {
  const int32_t Worker = T1.fetch_add(1, std::memory_order_acq_rel) + 1;
  for (;;) {
    const int32_t Index = T2.fetch_add(1, std::memory_order_acq_rel) + 1;
    if (Index >= static_cast<int32_t>(Candidates.size())) return;
    TCandidate& Candidate = Candidates[static_cast<size_t>(Index)];
    try {
      uint8_t* Scratch = GrowScratch(*Work[static_cast<size_t>(Worker)], 2 * static_cast<int64_t>(Candidate.Estimate));
      Candidate.Plain =
          GetOodleUS(ScanWindow + Candidate.Pos, Candidate.Packed, Scratch, Candidate.Estimate, &ProbeLeft);
    } catch (...) {
      Candidate.Plain = 0;
    }
  }
}

// Accepts candidates in input order as a scan from the block's start would:
// a stream that decodes to more bytes than it occupies is taken, and the scan
// goes on after its end.
void AcceptStreams(const uint8_t* Window) {
  int64_t Pos = 0;
  for (const TCandidate& Candidate : Candidates) {
    if (Candidate.Pos < Pos || Candidate.Packed >= Candidate.Plain) continue;
    if (Store->GetPosition() + Candidate.Plain > StoreLimit) continue;
    try {
      // The probe's decoded bytes are gone; decoding again at the exact
      // length gives them back, and costs one decode against the probe's three.
      uint8_t* Scratch = GrowScratch(*Work[0], OodleDLL::CompressedBufferSize(Candidate.Plain));
      if (OodleDLL::OodleDecompress(Window + Candidate.Pos, Candidate.Packed, Scratch, Candidate.Plain) <= 0)
        continue;
      const int64_t Offset = Store->GetPosition();
      Store->WriteBuffer(Scratch, Candidate.Plain);
      Info->Add();
      Info->Insert(EncWindowOffset, static_cast<uint32_t>(Candidate.Pos));
      Info->Insert(EncStoreOffset, static_cast<uint32_t>(Offset));
      Info->Insert(EncPackedLength, static_cast<uint32_t>(Candidate.Packed));
      Info->Insert(EncPlainLength, static_cast<uint32_t>(Candidate.Plain));
      Info->Insert(EncCrc, Crc32(Window + Candidate.Pos, static_cast<size_t>(Candidate.Packed)));
      Pos = int64_t(Candidate.Pos) + Candidate.Packed;
    } catch (...) {
      // Not a usable stream after all; its bytes stay raw.
    }
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
  RunWorkers(Compress);
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

// StreamCrcs gathers the CRC-32 of every stream written, for the trailer.
void WriteGroups(TContainerWriter& Writer, const uint8_t* Window, int32_t W, TBlockState& State,
                 std::vector<uint32_t>& StreamCrcs) {
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
      StreamCrcs.push_back(Info->Get(Row, EncCrc));
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

void ScanBlock(const uint8_t* Window, int32_t W, int32_t Size) {
  FindCandidates(Window, W, Size);
  if (Candidates.empty()) return;
  ScanWindow = Window;
  RunWorkers(ProbeCandidates);
  AcceptStreams(Window);
}

void Encode(int32_t BlockSize, int64_t GroupLimit) {
  THandleStream Handle(Os::StandardInput);
  Os::WidenPipe(Os::StandardInput, 1 << 20);
  TChecksumStream In(Handle);
  TBufferedOutputStream Buffered(Os::StandardOutput);
  TChecksumStream Out(Buffered);
  TStateGuard Guard;
  BeginMode(In, Out, EncInfCount);
  TrustFirstBlockCheck();
  try {
    DS = std::make_unique<TDataStore>(In, true, 1, BlockSize);
  } catch (const std::bad_alloc&) {
    throw std::runtime_error("cannot allocate the input window of " + std::to_string(2 * int64_t(BlockSize)) +
                             " bytes");
  }

  TContainerWriter Writer(Out);
  TBlockState State{BlockSize, GroupLimit};
  std::vector<uint32_t> StreamCrcs;
  while (!DS->Done()) {
    DS->Load();
    TMemoryStreamEx& Window = DS->Slot(0);
    const int32_t W = static_cast<int32_t>(Window.Size());
    ScanBlock(Window.Memory(), W, std::min(W, BlockSize));
    RemoveOverlaps(State);
    SearchLevels();
    if (Info->Count() > 0)
      WriteGroups(Writer, Window.Memory(), W, State, StreamCrcs);
    else
      WriteNoStreamRecord(Writer, Window.Memory(), W, State);
    Store->SetPosition(0);  // the memory is reused by the next block
    Info->Reset();
  }
  FreeWorkers();
  // The window has read the input to its end, so both checksums are complete.
  Writer.CheckedEndRecord(In.Count(), In.Crc(), StreamCrcs);
  Writer.Checksum(Out.Crc());
  Buffered.Flush();
}
