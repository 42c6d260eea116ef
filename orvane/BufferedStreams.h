// Standard input and output as sequential streams with a buffer of their own.
// Container headers and raw runs are read and written a few bytes at a time,
// and one system call per field would dominate the run time on small records.
#pragma once

#include <cstdint>
#include <memory>

#include "Stream.h"

class TBufferedInputStream : public TStream {
 public:
  explicit TBufferedInputStream(int Handle, int32_t BufferSize = 1 << 20);
  // Short only at the end of the data; errors of the descriptor throw.
  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;  // always throws
  // Only tells the position; the input is sequential.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

 private:
  int FHandle;
  int32_t FCapacity;
  std::unique_ptr<uint8_t[]> FBuffer;
  int32_t FStart = 0;  // first unread byte in FBuffer
  int32_t FEnd = 0;    // one past the last buffered byte
  int64_t FConsumed = 0;
};

class TBufferedOutputStream : public TStream {
 public:
  explicit TBufferedOutputStream(int Handle, int32_t BufferSize = 1 << 20);
  // Writes all Count bytes or throws EWriteError.
  int32_t Write(const void* Buffer, int32_t Count) override;
  int32_t Read(void* Buffer, int32_t Count) override;  // always throws
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  // Hands everything buffered to the descriptor; throws on failure. Must be
  // called before the stream goes away, or buffered bytes are lost.
  void Flush();

 private:
  void WriteThrough(const uint8_t* Data, int64_t Count);

  int FHandle;
  int32_t FCapacity;
  std::unique_ptr<uint8_t[]> FBuffer;
  int32_t FFill = 0;
  int64_t FWritten = 0;
};
