#include "ChecksumStream.h"

#include "crc32.h"

int32_t TChecksumStream::Read(void* Buffer, int32_t Count) {
  const int32_t Got = FInner.Read(Buffer, Count);
  if (Got > 0) {
    FCrc = Crc32C(static_cast<const uint8_t*>(Buffer), static_cast<size_t>(Got), FCrc);
    FCount += Got;
  }
  return Got;
}

int32_t TChecksumStream::Write(const void* Buffer, int32_t Count) {
  const int32_t Put = FInner.Write(Buffer, Count);
  if (Put > 0) {
    FCrc = Crc32C(static_cast<const uint8_t*>(Buffer), static_cast<size_t>(Put), FCrc);
    FCount += Put;
  }
  return Put;
}

int64_t TChecksumStream::Seek(int64_t, TSeekOrigin) { return FCount; }
