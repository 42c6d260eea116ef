// The record layer of the container: fixed-width little-endian fields written
// and read strictly in order, so that encode and decode can run through pipes.
//
//   raw record     int32 0, int32 L, L bytes
//   stream group   int32 N > 0, N x (level byte, int32 U), int64 T = sum of U,
//                  T bytes of contents, (N + 1) x (int32 G, G raw bytes)
//   checked end    int32 -2, int64 input length, uint32 CRC-32C of the input,
//                  int64 S, S x uint32 CRC-32 of each kept stream as found in
//                  the input, uint32 CRC-32C of every container byte before it
//   plain end      int32 -1 (older containers, which prove nothing)
//
// A reader of the plain layout that stops at any negative count still reads a
// checked container's records; the trailer after them is what lets decode
// prove its output and tell a damaged container from another codec release.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "Stream.h"

constexpr int32_t PlainEnd = -1;
constexpr int32_t CheckedEnd = -2;

// A container that ends early or holds values that cannot belong together.
struct EContainerError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class TContainerWriter {
 public:
  explicit TContainerWriter(TStream& Output) : FOutput(Output) {}

  void EndRecord() { Int32(PlainEnd); }
  // The checked end record and its trailer, all but the container's own
  // checksum, which comes last and covers everything before it.
  void CheckedEndRecord(int64_t InputLength, uint32_t InputCrc, const std::vector<uint32_t>& StreamCrcs);
  void Checksum(uint32_t Crc) { UInt32(Crc); }
  void RawRecord(const uint8_t* Data, int32_t Length);
  void GroupCount(int32_t Count) { Int32(Count); }
  void GroupEntry(int32_t Level, int32_t Length);
  void GroupTotal(int64_t Total);
  void Contents(const uint8_t* Data, int32_t Length) { FOutput.WriteBuffer(Data, Length); }
  // A raw run of a group: its length, then its bytes.
  void Run(const uint8_t* Data, int32_t Length);

 private:
  void Int32(int32_t Value) { UInt32(static_cast<uint32_t>(Value)); }
  void UInt32(uint32_t Value);
  void Int64(int64_t Value);
  TStream& FOutput;
};

// Every read throws EContainerError when the input ends before the field does.
// Messages name the container offset where the damage shows, so that a user
// can look at the bytes there.
class TContainerReader {
 public:
  explicit TContainerReader(TStream& Input) : FInput(Input) {}

  // Offset in the container of the next byte to be read.
  int64_t Offset() { return FInput.GetPosition(); }
  // The record count N: negative ends the container.
  int32_t Count() { return Int32(); }
  // After the end record, whose first byte is at EndOffset: the encoder writes
  // it as the container's last bytes, so anything after it means the count
  // was damaged or containers were joined, and decoding it would silently
  // drop the rest. Throws unless the input ends here.
  void ExpectEnd(int64_t EndOffset);
  // A length field (raw record, stream entry or run); negative ones throw.
  int32_t Length();
  // The level byte, sign-extended as it was written from the low 8 bits.
  int32_t Level();
  int64_t Total() { return Int64(); }
  // Trailer fields.
  int64_t Int64();
  uint32_t Crc();
  // Reads exactly Count bytes into Buffer.
  void Bytes(void* Buffer, int64_t Count);
  // Copies exactly Count bytes to Output.
  void Copy(TStream& Output, int64_t Count);

 private:
  int32_t Int32();
  TStream& FInput;
};
