// Mode e: reads standard input, replaces every stream it can reproduce by its
// decompressed contents and level, and writes the container to standard output.
#pragma once

#include <cstdint>

#include "ProgramState.h"

// What any input can make the encoder spend is held to these limits; a stream
// beyond them stays in the raw runs, which keeps every round trip exact.
//
// Longest decompressed stream probed. A probe needs twice the estimate in its
// worker's scratch buffer, and the level search about as much.
constexpr int64_t MaxStreamSize = 0x10000000;
// Most decompressed bytes of one block's streams held at once.
constexpr int64_t StoreLimit = 0x40000000;
// Trial-decode bytes that the size probes of one block may spend, per byte of
// the block scanned, plus a fixed allowance so that a short input can still
// probe a large stream. A false candidate of a few bytes costs a probe of at
// least twice 256 KiB, so without a limit a run of them takes seconds per MiB.
constexpr int64_t ProbeBytesPerByte = 2048;
constexpr int64_t ProbeAllowance = 0x40000000;

// The probe work that a block of Size scanned bytes may spend.
inline int64_t ProbeBudget(int64_t Size) { return ProbeBytesPerByte * Size + ProbeAllowance; }

// Finds the streams of one window (W bytes, of which the first Size are
// scanned) and appends a row and the contents to Info and Store for each one
// kept. Runs on the workers of the current mode; the tests call it directly.
void ScanBlock(const uint8_t* Window, int32_t W, int32_t Size);

// BlockSize and GroupLimit default to ChunkSize and DecodeSize; smaller values
// let tests reach many blocks and groups with small inputs. Throws on read or
// write failures of standard input or output.
void Encode(int32_t BlockSize = ChunkSize, int64_t GroupLimit = DecodeSize);
