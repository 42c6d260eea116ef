#include "Info.h"

#include <cstring>
#include <stdexcept>

TInfo::TInfo(int32_t AParameters) : FParameters(AParameters) {
  if (AParameters <= 0) throw std::invalid_argument("TInfo needs at least one parameter");
}

uint32_t* TInfo::Row(int32_t Index) const {
  return reinterpret_cast<uint32_t*>(FInfo.Memory()) + static_cast<int64_t>(Index) * FParameters;
}

// Editing a row that does not exist would write outside the table.
void TInfo::CheckCell(int32_t Index, int32_t Parameter) const {
  if (Index < 0 || Index >= FCount || Parameter < 0 || Parameter >= FParameters)
    throw std::out_of_range("TInfo: no such row or parameter");
}

// New rows always go after the last live row, even after removals, so a row
// added later is the one that Insert and Get(Count - 1) see.
void TInfo::Add() {
  const int64_t RowBytes = int64_t(FParameters) * sizeof(uint32_t);
  const int64_t End = (FCount + 1) * RowBytes;
  if (FInfo.Size() < End) FInfo.SetSize(End);
  std::memset(Row(FCount), 0, static_cast<size_t>(RowBytes));
  FInfo.SetPosition(End);
  FCount++;
}

void TInfo::Insert(int32_t Parameter, uint32_t Value) { Update(FCount - 1, Parameter, Value); }

uint32_t TInfo::Get(int32_t Index, int32_t Parameter) const {
  if (Index < 0 || Index >= FCount) return 0;
  CheckCell(Index, Parameter);
  return Row(Index)[Parameter];
}

void TInfo::Update(int32_t Index, int32_t Parameter, uint32_t Value) {
  CheckCell(Index, Parameter);
  Row(Index)[Parameter] = Value;
}

void TInfo::Remove() {
  if (FCount > 0) FCount--;
}

void TInfo::Remove(int32_t Index) {
  CheckCell(Index, 0);
  const int64_t Tail = int64_t(FCount - 1 - Index) * FParameters * sizeof(uint32_t);
  if (Tail > 0) std::memmove(Row(Index), Row(Index + 1), static_cast<size_t>(Tail));
  Remove();
}

void TInfo::RemoveWhere(int32_t Parameter, uint32_t Value) {
  if (Parameter < 0 || Parameter >= FParameters) throw std::out_of_range("TInfo: no such parameter");
  const size_t RowBytes = size_t(FParameters) * sizeof(uint32_t);
  int32_t Kept = 0;
  for (int32_t i = 0; i < FCount; i++) {
    if (Row(i)[Parameter] == Value) continue;
    if (Kept != i) std::memcpy(Row(Kept), Row(i), RowBytes);
    Kept++;
  }
  FCount = Kept;
}

void TInfo::Reset() {
  FInfo.SetPosition(0);
  FCount = 0;
}
