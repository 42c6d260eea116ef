// The compressed file's layout and the little-endian word and byte-copy helpers that its
// readers and writers share.
//
// Model-coded form: MODEL_MAGIC, the MP3 length, the frame count, the option word, then the
// arithmetic coder's bytes and any bytes of the MP3 file the reader left unread. Stored form:
// STORED_MAGIC, then every MP3 byte inverted.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "module/sumbrel.h"

namespace file_format {

// The model-coded form's header: four little-endian words. The stored form has the magic only.
constexpr long kMagicOffset = 0;
constexpr long kLengthOffset = 4;      // the MP3 length, signed
constexpr long kFrameCountOffset = 8;  // signed
constexpr long kOptionsOffset = 12;
constexpr long kHeaderBytes = 16;
constexpr int kStoredOverhead = 4;  // a stored file is its MP3 file plus the magic

inline uint32_t WordAt(const uint8_t* bytes) {
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

// The header as far as a file's first `have` bytes hold it: a word cut short is absent, but the
// magic, whose missing bytes read as 0. The one reader of the header, for the module and hosts.
struct Header {
  uint32_t magic = 0;
  bool hasMagic = false, hasLength = false, hasFrames = false;
  bool complete = false;  // all kHeaderBytes bytes are there
  int64_t length = 0, frames = 0;
};

inline Header ParseHeader(const uint8_t* bytes, size_t have) {
  Header header;
  uint8_t magic[4] = {};
  for (size_t i = 0; i < 4 && i < have; ++i) magic[i] = bytes[kMagicOffset + i];
  header.magic = WordAt(magic);
  header.hasMagic = have >= size_t(kMagicOffset) + 4;
  header.hasLength = have >= size_t(kLengthOffset) + 4;
  header.hasFrames = have >= size_t(kFrameCountOffset) + 4;
  header.complete = have >= size_t(kHeaderBytes);
  if (header.hasLength) header.length = int32_t(WordAt(bytes + kLengthOffset));
  if (header.hasFrames) header.frames = int32_t(WordAt(bytes + kFrameCountOffset));
  return header;
}

// Reads the header from the file's current position, which is left after what was read.
Header ReadHeader(FILE* file);

// Reads a whole 4-byte word; false when fewer bytes are left.
bool ReadWord(FILE* file, uint32_t& word);
// Writes a whole 4-byte word; false when the write falls short.
bool WriteWord(FILE* file, uint32_t word);

// Copies everything left in `from` to `to`, each byte XOR `mask`. False when a read or a
// write failed.
bool CopyRest(FILE* from, FILE* to, uint8_t mask);

// Length of a file by moving to its end; the position is left at the end. -1 on failure.
int64_t LengthAtEnd(FILE* file);

}  // namespace file_format
