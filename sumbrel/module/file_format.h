// The compressed file's layout and the little-endian word and byte-copy helpers that its
// readers and writers share.
//
// Model-coded form: MODEL_MAGIC, the MP3 length, the frame count, the option word, then the
// arithmetic coder's bytes and any bytes of the MP3 file the reader left unread. Stored form:
// STORED_MAGIC, then every MP3 byte inverted.
#pragma once
#include <cstdint>
#include <cstdio>

#include "module/sumbrel.h"

namespace file_format {

constexpr long kHeaderBytes = 16;
constexpr long kFrameCountOffset = 8;
constexpr int kStoredOverhead = 4;  // a stored file is its MP3 file plus the magic

// Reads a whole 4-byte word; false when fewer bytes are left.
bool ReadWord(FILE* file, uint32_t& word);
// The first word of a file, with missing bytes read as 0.
uint32_t ReadWordPadded(FILE* file);
// Writes a whole 4-byte word; false when the write falls short.
bool WriteWord(FILE* file, uint32_t word);

// Copies everything left in `from` to `to`, each byte XOR `mask`. False when a read or a
// write failed.
bool CopyRest(FILE* from, FILE* to, uint8_t mask);

// Length of a file by moving to its end; the position is left at the end. -1 on failure.
int64_t LengthAtEnd(FILE* file);

}  // namespace file_format
