#include "LevelSearch.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <numeric>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "Container.h"
#include "crc32.h"
#include "OodleDLL.h"
#include "OodleDetect.h"
#include "ProgramState.h"

namespace {

// Cleared for the rest of an encode once the first-block check has turned
// away a level that reproduced the stream.
std::atomic<bool> FirstBlockCheck{true};

// A full trial: the length and the bytes themselves decide, so that no
// colliding checksum can accept a stream that decode would rebuild otherwise.
bool Reproduces(const uint8_t* Contents, int32_t Plain, const uint8_t* Stream, int32_t Packed, int32_t Lvl,
                uint8_t* Buffer) {
  const int32_t Got = OodleDLL::OodleCompress(Contents, Plain, Buffer, Lvl);
  return Got == Packed && std::memcmp(Buffer, Stream, static_cast<size_t>(Got)) == 0;
}

// Whether the stream begins as Lvl compresses the contents' first block on its
// own. The codec compresses block by block, so a level that fails here cannot
// reproduce the stream, and finding that out costs one block's compression
// instead of the whole stream's.
bool FirstBlockMatches(const uint8_t* Contents, const uint8_t* Stream, int32_t Packed, int32_t Lvl,
                       uint8_t* Buffer) {
  const int32_t Got = OodleDLL::OodleCompress(Contents, BlkSize, Buffer, Lvl);
  return Got > 0 && Got <= Packed && std::memcmp(Buffer, Stream, static_cast<size_t>(Got)) == 0;
}

void SearchLevel(int32_t Row, int32_t Worker) {
  const int64_t Plain = Info->Get(Row, EncPlainLength);
  uint8_t* Buffer = GrowScratch(*Work[Worker], OodleDLL::CompressedBufferSize(Plain));
  // Streams of one input tend to share a level, so the worker's last good
  // level usually settles it in one trial.
  bool Rescued = false;
  const int32_t Found =
      FindLevel(Store->Memory() + Info->Get(Row, EncStoreOffset), static_cast<int32_t>(Plain),
                DS->Slot(0).Memory() + Info->Get(Row, EncWindowOffset),
                static_cast<int32_t>(Info->Get(Row, EncPackedLength)), Level[Worker], Buffer,
                FirstBlockCheck.load(std::memory_order_relaxed), &Rescued);
  if (Rescued) FirstBlockCheck.store(false, std::memory_order_relaxed);
  if (Found != 0) {
    Level[Worker] = Found;
    Info->Update(Row, EncLevel, static_cast<uint32_t>(Found));
  }
}

}  // namespace

int32_t FindLevel(const uint8_t* Contents, int32_t Plain, const uint8_t* Stream, int32_t Packed, int32_t First,
                  uint8_t* Buffer, bool Quick, bool* Rescued) {
  if (Rescued != nullptr) *Rescued = false;
  if (First < 1 || First > 9) First = 1;
  // A stream of one block gains nothing from trying its first block apart.
  const bool Check = Quick && Plain > BlkSize;
  // First, then 1 to 9 without it: the order both passes take.
  int32_t Order[9] = {First};
  for (int32_t Lvl = 1, n = 1; Lvl <= 9; ++Lvl)
    if (Lvl != First) Order[n++] = Lvl;
  bool TurnedAway[10] = {};
  for (const int32_t Lvl : Order) {
    if (Check && !FirstBlockMatches(Contents, Stream, Packed, Lvl, Buffer)) {
      TurnedAway[Lvl] = true;
      continue;
    }
    if (Reproduces(Contents, Plain, Stream, Packed, Lvl, Buffer)) return Lvl;
  }
  // Only a codec whose first block depends on later data gets here with a
  // level that reproduces the stream: it costs time, never the stream.
  for (const int32_t Lvl : Order)
    if (TurnedAway[Lvl] && Reproduces(Contents, Plain, Stream, Packed, Lvl, Buffer)) {
      if (Rescued != nullptr) *Rescued = true;
      return Lvl;
    }
  return 0;
}

void TrustFirstBlockCheck() { FirstBlockCheck.store(true, std::memory_order_relaxed); }

void Compress() {
  const int32_t Worker = T1.fetch_add(1, std::memory_order_acq_rel) + 1;
  // One worker takes the rows in input order, so that its last good level
  // carries from stream to stream as ever. Several take the longest streams
  // first, so that the block does not end with one worker alone on a long
  // stream. Every worker sorts the same rows the same way, so the job counter
  // still hands each row to exactly one of them; a worker without memory for
  // the order takes no rows, and the others take them all.
  std::vector<int32_t> Order;
  if (Task.size() > 1) {
    try {
      Order.resize(static_cast<size_t>(Info->Count()));
    } catch (const std::bad_alloc&) {
      return;
    }
    std::iota(Order.begin(), Order.end(), 0);
    std::stable_sort(Order.begin(), Order.end(), [](int32_t A, int32_t B) {
      return Info->Get(A, EncPlainLength) > Info->Get(B, EncPlainLength);
    });
  }
  for (;;) {
    const int32_t Job = T2.fetch_add(1, std::memory_order_acq_rel) + 1;
    if (Job >= Info->Count()) return;
    const int32_t Row = Order.empty() ? Job : Order[static_cast<size_t>(Job)];
    try {
      SearchLevel(Row, Worker);
    } catch (...) {
      // The stream is simply not replaced: its bytes stay in the raw runs.
    }
  }
}

int32_t RebuildStream(int32_t Row, TMemoryStream& Buffer) {
  const int32_t Plain = static_cast<int32_t>(Info->Get(Row, DecPlainLength));
  const int32_t Lvl = static_cast<int32_t>(Info->Get(Row, DecLevel));
  uint8_t* Dst;
  try {
    Dst = GrowScratch(Buffer, OodleDLL::CompressedBufferSize(Plain));
  } catch (const std::bad_alloc&) {
    throw std::runtime_error("cannot allocate " + std::to_string(OodleDLL::CompressedBufferSize(Plain)) + " bytes to rebuild stream " +
                             std::to_string(Row) + " of the group at offset " + std::to_string(GroupOffset));
  }
  int32_t Got = OodleDLL::OodleCompress(Store->Memory() + Info->Get(Row, DecStoreOffset), Plain, Dst, Lvl);
  // A longer result would not fit where the contents were.
  if (Got < 0 || Got > Plain) Got = 0;
  Info->Update(Row, DecPackedLength, static_cast<uint32_t>(Got));
  Info->Update(Row, DecCrc, Crc32(Dst, static_cast<size_t>(Got)));
  return Got;
}

void Recompress() {
  try {
    const int32_t Worker = T1.fetch_add(1, std::memory_order_acq_rel) + 1;
    for (;;) {
      const int32_t Row = T2.fetch_add(1, std::memory_order_acq_rel) + 1;
      if (Row >= GroupCount || Aborted()) return;
      const int64_t Offset = Info->Get(Row, DecStoreOffset);
      const int64_t End = Offset + Info->Get(Row, DecPlainLength);
      while (C.load(std::memory_order_acquire) < End) {
        if (Aborted()) return;
        SleepMs(1);
      }
      const int32_t Got = RebuildStream(Row, *Work[Worker]);
      // The contents are no longer needed and the stream is shorter, so it
      // takes their place and the writer needs no buffer of its own.
      if (Got > 0) std::memcpy(Store->Memory() + Offset, Work[Worker]->Memory(), static_cast<size_t>(Got));
      Completed[Row].store(true, std::memory_order_release);
    }
  } catch (const std::exception& Error) {
    Abort(Error.what());
  } catch (...) {
    Abort("a stream could not be rebuilt");
  }
}
