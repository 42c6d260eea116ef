// Reads an input stream into a fixed window of memory, block by block, and
// shows the window through one TMemoryStreamEx per slot.
//
// Dynamic store: the block holds FSlots + 1 slots and slot i sees 2 x FSize
// bytes, so each Load slides the window by FSlots x FSize and the second half of
// every slot is look-ahead that the next Load brings to the front. Static store:
// disjoint slots, refilled from scratch by each Load.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "MemoryStreams.h"

class TDataStore {
 public:
  TDataStore(TStream& AInput, bool ADynamic, int64_t ASlots, int64_t ASize);
  ~TDataStore();
  TDataStore(const TDataStore&) = delete;
  TDataStore& operator=(const TDataStore&) = delete;

  void Load();
  TMemoryStreamEx& Slot(int32_t AIndex) { return *FMemData[AIndex]; }
  // Absolute offset in the input of the slot's first byte.
  int64_t Position(int32_t AIndex) const { return FPositions[AIndex]; }
  // No further Load will bring data. It becomes true in the Load after the one
  // that met the end of the input, so that Load still shows the carried-over
  // look-ahead; process that window, then stop.
  bool Done() const { return FDone; }

  static constexpr int32_t FBufferSize = 65536;

 private:
  void Fill();

  TStream& FInput;
  bool FDynamic;
  int64_t FSlots;
  int64_t FSize;
  uint8_t* FMemPtr;
  std::unique_ptr<TMemoryStreamEx> FMemStm;
  std::vector<std::unique_ptr<TMemoryStreamEx>> FMemData;
  std::vector<int64_t> FPositions;
  bool FDone = false;
  bool FFirstRead = true;
  bool FLastRead = false;
};
