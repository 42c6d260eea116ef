#include "BufferedStreams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "os/Os.h"

TBufferedInputStream::TBufferedInputStream(int Handle, int32_t BufferSize)
    : FHandle(Handle), FCapacity(BufferSize), FBuffer(new uint8_t[BufferSize]) {
  Os::WidenPipe(Handle, BufferSize);
}

static int32_t ReadHandle(int Handle, uint8_t* Buffer, int32_t Count) {
  const int32_t N = Os::ReadHandle(Handle, Buffer, Count);
  if (N < 0) throw EReadError(std::string("read failed: ") + std::strerror(errno));
  return N;
}

int32_t TBufferedInputStream::Read(void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  auto* Dst = static_cast<uint8_t*>(Buffer);
  int32_t Done = 0;
  while (Done < Count) {
    if (FStart < FEnd) {
      const int32_t N = std::min(Count - Done, FEnd - FStart);
      std::memcpy(Dst + Done, FBuffer.get() + FStart, static_cast<size_t>(N));
      FStart += N;
      Done += N;
      continue;
    }
    // Large requests skip the buffer to save a copy.
    if (Count - Done >= FCapacity) {
      const int32_t N = ReadHandle(FHandle, Dst + Done, Count - Done);
      if (N == 0) break;
      Done += N;
      continue;
    }
    FStart = 0;
    FEnd = ReadHandle(FHandle, FBuffer.get(), FCapacity);
    if (FEnd == 0) break;
  }
  FConsumed += Done;
  return Done;
}

int32_t TBufferedInputStream::Write(const void*, int32_t) {
  throw EWriteError("standard input cannot be written");
}

int64_t TBufferedInputStream::Seek(int64_t, TSeekOrigin) { return FConsumed; }

TBufferedOutputStream::TBufferedOutputStream(int Handle, int32_t BufferSize)
    : FHandle(Handle), FCapacity(BufferSize), FBuffer(new uint8_t[BufferSize]) {
  Os::WidenPipe(Handle, BufferSize);
}

void TBufferedOutputStream::WriteThrough(const uint8_t* Data, int64_t Count) {
  constexpr int64_t Piece = 1 << 30;
  while (Count > 0) {
    const int32_t N = Os::WriteHandle(FHandle, Data, static_cast<int32_t>(std::min(Count, Piece)));
    if (N > 0) {
      Data += N;
      Count -= N;
    } else {
      throw EWriteError(std::string("write failed: ") +
                        (N < 0 ? std::strerror(errno) : "nothing written"));
    }
  }
}

int32_t TBufferedOutputStream::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const auto* Src = static_cast<const uint8_t*>(Buffer);
  if (FFill + Count <= FCapacity) {
    std::memcpy(FBuffer.get() + FFill, Src, static_cast<size_t>(Count));
    FFill += Count;
  } else {
    Flush();
    if (Count >= FCapacity) {
      WriteThrough(Src, Count);
    } else {
      std::memcpy(FBuffer.get(), Src, static_cast<size_t>(Count));
      FFill = Count;
    }
  }
  FWritten += Count;
  return Count;
}

int32_t TBufferedOutputStream::Read(void*, int32_t) {
  throw EReadError("standard output cannot be read");
}

int64_t TBufferedOutputStream::Seek(int64_t, TSeekOrigin) { return FWritten; }

void TBufferedOutputStream::Flush() {
  const int32_t N = FFill;
  FFill = 0;  // a failed flush must not be retried with the same bytes later
  WriteThrough(FBuffer.get(), N);
}
