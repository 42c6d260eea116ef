// Streams over a block of memory: a fixed view that never owns or grows its
// memory (TMemoryStreamEx), and a growable one that owns it (TMemoryStream).
#pragma once

#include <cstdint>

#include "Stream.h"

class TCustomMemoryStreamEx : public TStream {
 public:
  int32_t Read(void* Buffer, int32_t Count) override;
  // No clamping: the position may lie before 0 or past the end; Read then
  // simply returns 0.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  virtual void SaveToStream(TStream& Stream);

  uint8_t* Memory() const { return FMemory; }
  int64_t Size() const { return FSize; }
  int64_t Position() const { return FPosition; }

 protected:
  void SetPointer(uint8_t* Ptr, int64_t ASize) {
    FMemory = Ptr;
    FSize = ASize;
  }

  uint8_t* FMemory = nullptr;
  int64_t FSize = 0;
  int64_t FPosition = 0;
};

// An empty stream over AMaxSize bytes that belong to someone else. Writes past
// the capacity are cut short and sizes above it are ignored, so the memory
// never moves.
class TMemoryStreamEx : public TCustomMemoryStreamEx {
 public:
  TMemoryStreamEx(uint8_t* AMemory, int64_t AMaxSize);
  void SetSize(int64_t NewSize) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t MaxSize() const { return FMaxSize; }

 private:
  int64_t FMaxSize;
};

// A stream that owns its memory and grows it on demand. The memory only grows
// (buffers are reused across blocks), and it may move when it grows.
class TMemoryStream : public TCustomMemoryStreamEx {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;

  void SetSize(int64_t NewSize) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t Capacity() const { return FCapacity; }

 private:
  void Reserve(int64_t NewCapacity);
  int64_t FCapacity = 0;
};
