// The compressed file's layout and the little-endian word and byte-copy helpers that its
// readers and writers share. Two formats, each with a model-coded and a stored form:
//
// Format 1, model-coded: MODEL_MAGIC, the MP3 length (32-bit), the frame count, the option
// word, then the arithmetic coder's bytes and any bytes of the MP3 file the reader left unread.
// Format 1, stored: STORED_MAGIC, then every MP3 byte inverted.
// Format 2, model-coded: MODEL2_MAGIC, the model number, the MP3 length (64-bit), the frame
// count, the CRC-32C of the MP3 file, the CRC-32C of the rest of the file, then that rest: the
// coder's bytes and the unread bytes. The second checksum makes damage to the coded part fail
// even where it would not change what is restored.
// Format 2, stored: STORED2_MAGIC, the MP3 length (64-bit), its CRC-32C, then every MP3 byte
// inverted.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "module/sumbrel.h"

namespace file_format {

// Format 1, model-coded: four little-endian words. Its stored form has the magic only.
constexpr long kMagicOffset = 0;
constexpr long kLengthOffset = 4;      // the MP3 length, signed
constexpr long kFrameCountOffset = 8;  // signed
constexpr long kOptionsOffset = 12;
constexpr long kHeaderBytes = 16;
constexpr int kStoredOverhead = 4;  // a stored file is its MP3 file plus the magic

// Format 2, model-coded.
constexpr long kModel2NumberOffset = 4;
constexpr long kModel2LengthOffset = 8;  // 64-bit
constexpr long kModel2FrameCountOffset = 16;
constexpr long kModel2ChecksumOffset = 20;
constexpr long kModel2CodedChecksumOffset = 24;
constexpr long kModel2HeaderBytes = 28;
// Format 2, stored.
constexpr long kStored2LengthOffset = 4;  // 64-bit
constexpr long kStored2ChecksumOffset = 12;
constexpr long kStored2HeaderBytes = 16;
constexpr long kLongestHeader = kModel2HeaderBytes;

// The model that format 2's files are coded with; a later model takes the next number.
constexpr uint32_t kModelNumber = 2;

inline uint32_t WordAt(const uint8_t* bytes) {
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

inline void PutWord(uint8_t* bytes, uint32_t word) {
  for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(word >> 8 * i);
}

enum class Form { None, Model, Stored };

// The header as far as a file's first `have` bytes hold it: a field cut short is absent, but the
// magic, whose missing bytes read as 0. The one reader of the header, for the module and hosts.
struct Header {
  uint32_t magic = 0;
  Form form = Form::None;
  int format = 0;  // 1 or 2 for a compressed file
  bool hasMagic = false, hasLength = false, hasFrames = false, hasModel = false, hasChecksum = false;
  bool complete = false;  // the whole header of its form is there
  int64_t length = 0, frames = 0;
  uint32_t model = 0, checksum = 0;
  uint32_t codedChecksum = 0;  // format 2, model-coded: of the bytes after the header
};

inline Header ParseHeader(const uint8_t* bytes, size_t have) {
  Header header;
  uint8_t magic[4] = {};
  for (size_t i = 0; i < 4 && i < have; ++i) magic[i] = bytes[kMagicOffset + i];
  header.magic = WordAt(magic);
  header.hasMagic = have >= size_t(kMagicOffset) + 4;
  const auto has = [&](long offset, long size) { return have >= size_t(offset + size); };
  const auto wide = [&](long offset) { return int64_t(uint64_t(WordAt(bytes + offset)) | uint64_t(WordAt(bytes + offset + 4)) << 32); };
  switch (header.magic) {
    case MODEL_MAGIC:
      header.form = Form::Model;
      header.format = 1;
      header.hasLength = has(kLengthOffset, 4);
      header.hasFrames = has(kFrameCountOffset, 4);
      header.complete = has(0, kHeaderBytes);
      if (header.hasLength) header.length = int32_t(WordAt(bytes + kLengthOffset));
      if (header.hasFrames) header.frames = int32_t(WordAt(bytes + kFrameCountOffset));
      break;
    case STORED_MAGIC:
      header.form = Form::Stored;
      header.format = 1;
      header.complete = header.hasMagic;
      break;
    case MODEL2_MAGIC:
      header.form = Form::Model;
      header.format = 2;
      header.hasModel = has(kModel2NumberOffset, 4);
      header.hasLength = has(kModel2LengthOffset, 8);
      header.hasFrames = has(kModel2FrameCountOffset, 4);
      header.hasChecksum = has(kModel2ChecksumOffset, 4);
      header.complete = has(0, kModel2HeaderBytes);
      if (header.hasModel) header.model = WordAt(bytes + kModel2NumberOffset);
      if (header.hasLength) header.length = wide(kModel2LengthOffset);
      if (header.hasFrames) header.frames = int32_t(WordAt(bytes + kModel2FrameCountOffset));
      if (header.hasChecksum) header.checksum = WordAt(bytes + kModel2ChecksumOffset);
      if (header.complete) header.codedChecksum = WordAt(bytes + kModel2CodedChecksumOffset);
      break;
    case STORED2_MAGIC:
      header.form = Form::Stored;
      header.format = 2;
      header.hasLength = has(kStored2LengthOffset, 8);
      header.hasChecksum = has(kStored2ChecksumOffset, 4);
      header.complete = has(0, kStored2HeaderBytes);
      if (header.hasLength) header.length = wide(kStored2LengthOffset);
      if (header.hasChecksum) header.checksum = WordAt(bytes + kStored2ChecksumOffset);
      break;
    default:
      break;
  }
  return header;
}

// Reads the header from the file's current position, which is left after what was read.
Header ReadHeader(FILE* file);

// Reads a whole 4-byte word; false when fewer bytes are left.
bool ReadWord(FILE* file, uint32_t& word);
// Writes a whole 4-byte word; false when the write falls short.
bool WriteWord(FILE* file, uint32_t word);

// Copies everything left in `from` to `to`, each byte XOR `mask`. False when a read or a
// write failed. With `crc` it also runs the CRC-32C of the MP3 bytes on: the bytes as read
// when `toStored` (the copy stores an MP3 file), else as written. With `copied` it adds their
// count. A null `to` writes nothing, for a check that keeps nothing.
bool CopyRest(FILE* from, FILE* to, uint8_t mask, uint32_t* crc = nullptr, int64_t* copied = nullptr,
              bool toStored = false);

// The CRC-32C and length of everything left in `file`. False when a read failed.
bool ChecksumOfRest(FILE* file, uint32_t& crc, int64_t& length);

// Length of a file by moving to its end; the position is left at the end. -1 on failure.
int64_t LengthAtEnd(FILE* file);

}  // namespace file_format
