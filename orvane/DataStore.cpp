#include "DataStore.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

TDataStore::TDataStore(TStream& AInput, bool ADynamic, int64_t ASlots, int64_t ASize)
    : FInput(AInput), FDynamic(ADynamic), FSlots(ASlots), FSize(ASize) {
  const int64_t Total = (FDynamic ? FSlots + 1 : FSlots) * FSize;
  FMemPtr = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(std::max<int64_t>(Total, 1))));
  if (FMemPtr == nullptr) throw std::bad_alloc();
  FMemStm = std::make_unique<TMemoryStreamEx>(FMemPtr, Total);
  FMemStm->SetSize(Total);
  const int64_t SlotCapacity = FDynamic ? 2 * FSize : FSize;
  for (int64_t i = 0; i < FSlots; i++) {
    FMemData.push_back(std::make_unique<TMemoryStreamEx>(FMemStm->Memory() + i * FSize, SlotCapacity));
    FPositions.push_back(i * FSize - FSlots * FSize);
  }
}

TDataStore::~TDataStore() {
  FMemData.clear();
  FMemStm.reset();
  std::free(FMemPtr);
}

// Reads straight into the window in pieces of FBufferSize; a piece that brings
// nothing marks the end of the input.
void TDataStore::Fill() {
  TMemoryStreamEx& M = *FMemStm;
  while (M.Position() < M.Size()) {
    const int32_t Want = static_cast<int32_t>(std::min<int64_t>(M.Size() - M.Position(), FBufferSize));
    const int32_t Got = FInput.Read(M.Memory() + M.Position(), Want);
    if (Got <= 0) {
      FLastRead = true;
      return;
    }
    M.Seek(Got, soCurrent);
  }
}

void TDataStore::Load() {
  for (int64_t& P : FPositions) P += FSlots * FSize;
  TMemoryStreamEx& M = *FMemStm;
  const int64_t SlotCapacity = FDynamic ? 2 * FSize : FSize;

  if (FDynamic) {
    if (FFirstRead) {
      M.SetPosition(0);
      FFirstRead = false;
    } else {
      const int64_t Keep = std::clamp<int64_t>(M.Position() - FSlots * FSize, 0, FSize);
      if (Keep > 0) std::memmove(M.Memory(), M.Memory() + FSlots * FSize, static_cast<size_t>(Keep));
      M.SetPosition(Keep);
    }
    // Once the input has ended, asking it again could block (a terminal) and
    // can bring nothing.
    if (FLastRead) FDone = true;
    else Fill();
  } else {
    M.SetPosition(0);
    Fill();
    if (FLastRead) FDone = true;
  }

  const int64_t Level = M.Position();
  for (int64_t i = 0; i < FSlots; i++)
    FMemData[i]->SetSize(std::min(SlotCapacity, std::max<int64_t>(0, Level - i * FSize)));
}
