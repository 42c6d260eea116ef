// A stream that passes reads and writes through to another one and keeps the
// count and the CRC-32C of every byte that went by. Encode puts one on its
// input (the input's checksum) and one on its output (the container's); decode
// puts them the other way round, so both directions hash the same bytes.
#pragma once

#include <cstdint>

#include "Stream.h"

class TChecksumStream : public TStream {
 public:
  explicit TChecksumStream(TStream& Inner) : FInner(Inner) {}
  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  // The stream is sequential: tells the bytes passed so far, moves nothing.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

  int64_t Count() const { return FCount; }
  uint32_t Crc() const { return FCrc; }

 private:
  TStream& FInner;
  int64_t FCount = 0;
  uint32_t FCrc = 0;
};
