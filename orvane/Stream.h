// The byte-stream base of orvane's data classes, and a stream over a file
// descriptor (standard input and output).
#pragma once

#include <cstdint>
#include <stdexcept>

enum TSeekOrigin : int32_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// Raised when a read or write moves fewer bytes than asked for, or when the
// operating system reports an error.
struct EReadError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
struct EWriteError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class TStream {
 public:
  virtual ~TStream() = default;

  // Moves up to Count bytes; the result may be shorter (end of data).
  virtual int32_t Read(void* Buffer, int32_t Count) = 0;
  virtual int32_t Write(const void* Buffer, int32_t Count) = 0;
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
  // Streams that cannot change their size ignore it.
  virtual void SetSize(int64_t NewSize);

  int64_t GetSize();
  int64_t GetPosition() { return Seek(0, soCurrent); }
  void SetPosition(int64_t Value) { Seek(Value, soBeginning); }

  // Move exactly Count bytes or throw; partial transfers (pipes) are retried.
  void ReadBuffer(void* Buffer, int64_t Count);
  void WriteBuffer(const void* Buffer, int64_t Count);
  // Copies exactly Count bytes from the current position of Source; a Count of
  // 0 copies nothing. Throws on a short read or write.
  void CopyFrom(TStream& Source, int64_t Count);
};

// Takes every byte and keeps none: the output of `orvane t`, which rebuilds the
// input only to check it.
class TNullStream : public TStream {
 public:
  int32_t Read(void* Buffer, int32_t Count) override;  // always throws
  int32_t Write(const void*, int32_t Count) override { return Count; }
  int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
};

// A sequential stream over a descriptor it does not own. Read errors throw
// instead of looking like the end of the data, so a failing input is never
// mistaken for a short one.
class THandleStream : public TStream {
 public:
  explicit THandleStream(int Handle) : FHandle(Handle) {}
  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(int64_t NewSize) override;
  int Handle() const { return FHandle; }

 private:
  int FHandle;
};
