#include "Stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "os/Os.h"

void TStream::SetSize(int64_t) {}

int64_t TStream::GetSize() {
  const int64_t Saved = Seek(0, soCurrent);
  const int64_t Size = Seek(0, soEnd);
  Seek(Saved, soBeginning);
  return Size;
}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  auto* Dst = static_cast<uint8_t*>(Buffer);
  while (Count > 0) {
    const int32_t Want = static_cast<int32_t>(std::min<int64_t>(Count, INT32_MAX));
    const int32_t Got = Read(Dst, Want);
    if (Got <= 0) throw EReadError("stream read error: unexpected end of data");
    Dst += Got;
    Count -= Got;
  }
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  const auto* Src = static_cast<const uint8_t*>(Buffer);
  while (Count > 0) {
    const int32_t Want = static_cast<int32_t>(std::min<int64_t>(Count, INT32_MAX));
    const int32_t Put = Write(Src, Want);
    if (Put <= 0) throw EWriteError("stream write error");
    Src += Put;
    Count -= Put;
  }
}

void TStream::CopyFrom(TStream& Source, int64_t Count) {
  constexpr int32_t Piece = 65536;
  uint8_t Buffer[Piece];
  while (Count > 0) {
    const int32_t N = static_cast<int32_t>(std::min<int64_t>(Count, Piece));
    Source.ReadBuffer(Buffer, N);
    WriteBuffer(Buffer, N);
    Count -= N;
  }
}

int32_t TNullStream::Read(void*, int32_t) { throw EReadError("nothing can be read from a null stream"); }

int32_t THandleStream::Read(void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const int32_t N = Os::ReadHandle(FHandle, Buffer, Count);
  if (N < 0) throw EReadError(std::string("read failed: ") + std::strerror(errno));
  return N;
}

int32_t THandleStream::Write(const void* Buffer, int32_t Count) {
  const auto* Src = static_cast<const uint8_t*>(Buffer);
  int32_t Done = 0;
  while (Done < Count) {
    const int32_t N = Os::WriteHandle(FHandle, Src + Done, Count - Done);
    if (N > 0) {
      Done += N;
    } else {
      throw EWriteError(std::string("write failed: ") + std::strerror(errno));
    }
  }
  return Done;
}

int64_t THandleStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int Whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
  return Os::SeekHandle(FHandle, Offset, Whence);
}

void THandleStream::SetSize(int64_t NewSize) {
  if (Os::TruncateHandle(FHandle, NewSize) != 0)
    throw EWriteError(std::string("cannot set file size: ") + std::strerror(errno));
}
