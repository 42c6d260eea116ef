#include "MemoryStreams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

int32_t TCustomMemoryStreamEx::Read(void* Buffer, int32_t Count) {
  if (FPosition < 0 || Count < 0 || FSize - FPosition <= 0) return 0;
  const int64_t N = FPosition + Count < FSize ? Count : FSize - FPosition;
  if (N > 0) std::memcpy(Buffer, FMemory + FPosition, static_cast<size_t>(N));
  FPosition += N;
  return static_cast<int32_t>(N);
}

int64_t TCustomMemoryStreamEx::Seek(int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
    case soBeginning: FPosition = Offset; break;
    case soCurrent: FPosition += Offset; break;
    case soEnd: FPosition = FSize + Offset; break;
  }
  return FPosition;
}

void TCustomMemoryStreamEx::SaveToStream(TStream& Stream) {
  if (FSize != 0) Stream.WriteBuffer(FMemory, FSize);
}

TMemoryStreamEx::TMemoryStreamEx(uint8_t* AMemory, int64_t AMaxSize) : FMaxSize(AMaxSize) {
  SetPointer(AMemory, AMaxSize);
  FPosition = 0;
  FSize = 0;
}

void TMemoryStreamEx::SetSize(int64_t NewSize) {
  const int64_t OldPosition = FPosition;
  if (NewSize >= 0 && NewSize <= FMaxSize) FSize = NewSize;
  if (OldPosition > NewSize) Seek(0, soEnd);
}

int32_t TMemoryStreamEx::Write(const void* Buffer, int32_t Count) {
  int64_t N = Count;
  if (FPosition + N > FMaxSize) N = FMaxSize - FPosition;
  if (FPosition < 0 || N < 0) return 0;
  if (N > 0) std::memcpy(FMemory + FPosition, Buffer, static_cast<size_t>(N));
  FPosition += N;
  FSize = std::max(FSize, FPosition);
  return static_cast<int32_t>(N);
}

TMemoryStream::~TMemoryStream() { std::free(FMemory); }

void TMemoryStream::Reserve(int64_t NewCapacity) {
  if (NewCapacity <= FCapacity) return;
  // Grow by at least a quarter so that appending piece by piece stays linear.
  NewCapacity = std::max(NewCapacity, FCapacity + FCapacity / 4);
  NewCapacity = (NewCapacity + 0xFFFF) & ~int64_t(0xFFFF);
  auto* Grown = static_cast<uint8_t*>(std::realloc(FMemory, static_cast<size_t>(NewCapacity)));
  if (Grown == nullptr) throw std::bad_alloc();
  FMemory = Grown;
  FCapacity = NewCapacity;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) return;
  const int64_t OldPosition = FPosition;
  Reserve(NewSize);
  FSize = NewSize;
  if (OldPosition > NewSize) Seek(0, soEnd);
}

int32_t TMemoryStream::Write(const void* Buffer, int32_t Count) {
  if (FPosition < 0 || Count <= 0) return 0;
  const int64_t End = FPosition + Count;
  Reserve(End);
  std::memcpy(FMemory + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = End;
  FSize = std::max(FSize, End);
  return Count;
}
