#include "Container.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

void PutLE(uint8_t* Dst, uint64_t Value, int Width) {
  for (int i = 0; i < Width; ++i) Dst[i] = static_cast<uint8_t>(Value >> (8 * i));
}

uint64_t GetLE(const uint8_t* Src, int Width) {
  uint64_t Value = 0;
  for (int i = 0; i < Width; ++i) Value |= static_cast<uint64_t>(Src[i]) << (8 * i);
  return Value;
}

}  // namespace

void TContainerWriter::UInt32(uint32_t Value) {
  uint8_t Field[4];
  PutLE(Field, Value, 4);
  FOutput.WriteBuffer(Field, 4);
}

void TContainerWriter::Int64(int64_t Value) {
  uint8_t Field[8];
  PutLE(Field, static_cast<uint64_t>(Value), 8);
  FOutput.WriteBuffer(Field, 8);
}

void TContainerWriter::CheckedEndRecord(int64_t InputLength, uint32_t InputCrc,
                                        const std::vector<uint32_t>& StreamCrcs) {
  Int32(CheckedEnd);
  Int64(InputLength);
  UInt32(InputCrc);
  Int64(static_cast<int64_t>(StreamCrcs.size()));
  for (const uint32_t Crc : StreamCrcs) UInt32(Crc);
}

void TContainerWriter::RawRecord(const uint8_t* Data, int32_t Length) {
  Int32(0);
  Run(Data, Length);
}

void TContainerWriter::GroupEntry(int32_t Level, int32_t Length) {
  uint8_t Entry[5];
  Entry[0] = static_cast<uint8_t>(Level);
  PutLE(Entry + 1, static_cast<uint32_t>(Length), 4);
  FOutput.WriteBuffer(Entry, 5);
}

void TContainerWriter::GroupTotal(int64_t Total) { Int64(Total); }

void TContainerWriter::Run(const uint8_t* Data, int32_t Length) {
  Int32(Length);
  if (Length > 0) FOutput.WriteBuffer(Data, Length);
}

void TContainerReader::Bytes(void* Buffer, int64_t Count) {
  auto* Dst = static_cast<uint8_t*>(Buffer);
  while (Count > 0) {
    const int32_t Want = static_cast<int32_t>(std::min<int64_t>(Count, 1 << 30));
    const int32_t Got = FInput.Read(Dst, Want);
    if (Got <= 0)
      throw EContainerError("truncated container: it ends at offset " + std::to_string(Offset()) +
                            " inside a record");
    Dst += Got;
    Count -= Got;
  }
}

int32_t TContainerReader::Int32() {
  uint8_t Field[4];
  Bytes(Field, 4);
  return static_cast<int32_t>(static_cast<uint32_t>(GetLE(Field, 4)));
}

int32_t TContainerReader::Length() {
  const int32_t Value = Int32();
  if (Value < 0)
    throw EContainerError("inconsistent container: negative length at offset " +
                          std::to_string(Offset() - 4));
  return Value;
}

void TContainerReader::ExpectEnd(int64_t EndOffset) {
  uint8_t Byte;
  if (FInput.Read(&Byte, 1) > 0)
    throw EContainerError("damaged container: the end record at offset " + std::to_string(EndOffset) +
                          " is followed by more data");
}

int32_t TContainerReader::Level() {
  uint8_t Byte;
  Bytes(&Byte, 1);
  return static_cast<int8_t>(Byte);
}

int64_t TContainerReader::Int64() {
  uint8_t Field[8];
  Bytes(Field, 8);
  return static_cast<int64_t>(GetLE(Field, 8));
}

uint32_t TContainerReader::Crc() { return static_cast<uint32_t>(Int32()); }

void TContainerReader::Copy(TStream& Output, int64_t Count) {
  constexpr int32_t Piece = 1 << 16;
  uint8_t Buffer[Piece];
  while (Count > 0) {
    const int32_t N = static_cast<int32_t>(std::min<int64_t>(Count, Piece));
    Bytes(Buffer, N);
    Output.WriteBuffer(Buffer, N);
    Count -= N;
  }
}
