// The state that the drivers share with the procedures their tasks run. The
// procedures take no arguments, so everything they need lives here; a driver
// creates it at the start of its mode and frees it at the end.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DataStore.h"
#include "Info.h"
#include "MemoryStreams.h"
#include "Stream.h"
#include "Threading.h"

// Block size of the encoder: the window shows two of them, the second as
// look-ahead for streams that cross the block's end.
constexpr int32_t ChunkSize = 0x2000000;
// Most decompressed bytes that one stream group holds (one larger stream
// forms a group of its own).
constexpr int64_t DecodeSize = 0x10000000;

// Values per encode row of Info.
enum : int32_t {
  EncInfCount = 7,
  EncWindowOffset = 0,  // first byte of the stream, relative to the window
  EncStoreOffset = 1,   // its decompressed contents in Store
  EncPackedLength = 2,  // the stream's bytes as found in the input
  EncPlainLength = 3,   // decompressed length
  EncCrc = 4,           // CRC-32 of the stream's bytes
  EncLevel = 5,         // level that reproduces the stream, 0 = none
  EncOverlap = 6        // 1 = starts inside an already accepted stream
};

// Values per decode row of Info.
enum : int32_t {
  DecInfCount = 5,
  DecStoreOffset = 0,  // contents in Store, later the rebuilt stream
  DecPlainLength = 1,
  DecLevel = 2,
  DecPackedLength = 3,  // length of the rebuilt stream, set by its worker
  DecCrc = 4            // CRC-32 of the rebuilt stream, set with the length
};

extern TStream* Input;
extern TStream* Output;
extern std::unique_ptr<TMemoryStream> Store;
extern std::unique_ptr<TDataStore> DS;
extern std::unique_ptr<TInfo> Info;
extern std::vector<std::unique_ptr<TTask>> Task;
extern std::vector<std::unique_ptr<TMemoryStream>> Work;
// Encode: per worker, the level that last reproduced a stream.
extern std::vector<int32_t> Level;
// Worker index and job counters; set to -1 before the workers start, each
// worker uses the value after its own increment.
extern std::atomic<int32_t> T1;
extern std::atomic<int32_t> T2;
// Decode: bytes of the current group's contents that have arrived in Store.
extern std::atomic<int64_t> C;
// Decode: per stream of the group, set once its rebuilt bytes are in Store.
extern std::unique_ptr<std::atomic<bool>[]> Completed;
extern int32_t CompletedCapacity;
// Decode: stream count and content length of the current group, and the
// container offset of its record, which failure messages name.
extern int32_t GroupCount;
extern int64_t GroupTotal;
extern int64_t GroupOffset;
extern std::unique_ptr<TTask> Task2;  // decode writer
extern std::unique_ptr<TTask> Task3;  // decode reader

// A procedure that fails records why and raises the abort flag; every thread
// that polls for another's progress also watches the flag, so one failure ends
// all of them instead of leaving the rest waiting.
void Abort(const std::string& Message);
bool Aborted();
// The first message given to Abort.
std::string AbortMessage();
// Clears the flag at the start of a mode.
void ClearAbort();

// Grows Buffer to at least Size bytes and returns its memory.
uint8_t* GrowScratch(TMemoryStream& Buffer, int64_t Size);

// The set-up both modes share: the two streams, a clear abort flag, an empty
// Store, Info with Parameters values per row, and the workers.
void BeginMode(TStream& In, TStream& Out, int32_t Parameters);
// Creates Task, Work and Level with one entry per processor.
void CreateWorkers();
// Runs Proc once on every worker, with T1 and T2 reset, and waits for all.
void RunWorkers(const TTask::TProc& Proc);
// Ends the worker threads and frees their buffers.
void FreeWorkers();
// Ends every task, then frees everything a mode created; safe to call twice.
void FreeState();

// Frees the program-wide state when a driver leaves, by return or by error.
struct TStateGuard {
  TStateGuard() = default;
  TStateGuard(const TStateGuard&) = delete;
  TStateGuard& operator=(const TStateGuard&) = delete;
  ~TStateGuard() { FreeState(); }
};
