#include "LevelSearch.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "Container.h"
#include "Crc32.h"
#include "OodleDLL.h"
#include "ProgramState.h"

namespace {

// True when compressing row Row's contents at Lvl gives the stream's bytes.
// The CRC alone would accept a colliding output, and decode would then
// silently produce other bytes; so the length and the bytes themselves decide,
// with the CRC as a quick early rejection.
bool Reproduces(int32_t Row, int32_t Lvl, uint8_t* Buffer, const uint8_t* Window) {
  const uint32_t Contents = Info->Get(Row, EncStoreOffset);
  const int32_t Plain = static_cast<int32_t>(Info->Get(Row, EncPlainLength));
  const int32_t Packed = static_cast<int32_t>(Info->Get(Row, EncPackedLength));
  const int32_t Got = OodleDLL::OodleCompress(Store->Memory() + Contents, Plain, Buffer, Lvl);
  if (Got != Packed) return false;
  if (Crc32(Buffer, static_cast<size_t>(Got)) != Info->Get(Row, EncCrc)) return false;
  return std::memcmp(Buffer, Window + Info->Get(Row, EncWindowOffset), static_cast<size_t>(Got)) == 0;
}

void SearchLevel(int32_t Row, int32_t Worker) {
  const int64_t Plain = Info->Get(Row, EncPlainLength);
  uint8_t* Buffer = GrowScratch(*Work[Worker], ScratchSize(Plain));
  const uint8_t* Window = DS->Slot(0).Memory();

  // Streams of one input tend to share a level, so the worker's last good
  // level usually settles it in one trial.
  const int32_t First = Level[Worker];
  int32_t Found = Reproduces(Row, First, Buffer, Window) ? First : 0;
  for (int32_t Lvl = 1; Found == 0 && Lvl <= 9; ++Lvl)
    if (Lvl != First && Reproduces(Row, Lvl, Buffer, Window)) Found = Lvl;

  if (Found != 0) {
    Level[Worker] = Found;
    Info->Update(Row, EncLevel, static_cast<uint32_t>(Found));
  }
}

}  // namespace

void Compress() {
  const int32_t Worker = T1.fetch_add(1, std::memory_order_acq_rel) + 1;
  for (;;) {
    const int32_t Row = T2.fetch_add(1, std::memory_order_acq_rel) + 1;
    if (Row >= Info->Count()) return;
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
  const std::string Which =
      "stream " + std::to_string(Row) + " of the group at offset " + std::to_string(GroupOffset);
  uint8_t* Dst;
  try {
    Dst = GrowScratch(Buffer, ScratchSize(Plain));
  } catch (const std::bad_alloc&) {
    throw std::runtime_error("cannot allocate " + std::to_string(ScratchSize(Plain)) + " bytes to rebuild " +
                             Which);
  }
  const int32_t Got =
      OodleDLL::OodleCompress(Store->Memory() + Info->Get(Row, DecStoreOffset), Plain, Dst, Lvl);
  if (Got <= 0) throw EContainerError(Which + " could not be rebuilt");
  if (Got > Plain) throw EContainerError("inconsistent container: " + Which + " does not shrink");
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
      std::memcpy(Store->Memory() + Offset, Work[Worker]->Memory(), static_cast<size_t>(Got));
      Info->Update(Row, DecPackedLength, static_cast<uint32_t>(Got));
      Completed[Row].store(true, std::memory_order_release);
    }
  } catch (const std::exception& Error) {
    Abort(Error.what());
  } catch (...) {
    Abort("a stream could not be rebuilt");
  }
}
