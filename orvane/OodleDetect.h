// Finding Oodle streams in raw bytes (from their block headers alone) and
// probing their exact decompressed size with the library.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

constexpr int32_t BlkSize = 0x40000;  // raw bytes per Oodle block
constexpr int32_t MinSize = 64;       // shortest first block worth probing
constexpr int32_t TCount = 16;        // size probe: attempts at block-fraction steps
constexpr int32_t SCount = 192;       // size probe: lengths tried around the decoded end

uint32_t EndianSwap(uint32_t Value);
uint16_t EndianSwap(uint16_t Value);

// Does a chain of Oodle block headers start at Buff? ISize is the number of
// bytes available from Buff. On return CSize is the chain's compressed length
// (0: no stream), DSize an upper estimate of its decompressed length and
// PCodec its codec class (0 to 3). Callers pass First = true; First = false
// examines a following block at Buff whose offset from the stream's start is
// the CSize passed in (ISize still counted from the stream's start).
void GetOodleSI(const uint8_t* Buff, int32_t ISize, int32_t& CSize, int32_t& DSize, int32_t& PCodec,
                bool First = true);

// The exact decompressed length of the InSize-byte stream at Input, found by
// decoding attempts through the library, or 0. OutSize is the estimate DSize;
// Output must hold 2 x OutSize bytes. Throws when the library is missing.
//
// Budget, when given, holds the trial-decode bytes (the lengths asked of the
// library) that the caller still allows, shared by concurrent probes. Each
// attempt takes its length from it first; when too little is left the probe
// gives up with 0, so all probes together never decode more than was given.
int32_t GetOodleUS(const uint8_t* Input, int32_t InSize, uint8_t* Output, int32_t OutSize,
                   std::atomic<int64_t>* Budget = nullptr);

// The first offset in Buff[0, Size) where a stream may start (0x8C or 0xCC
// followed by one of the seven type bytes; the last offset is judged by its
// first byte alone, as its next byte lies outside the range), or Size.
// GetOodleSI finds nothing at the offsets it skips, so a scanner may jump
// straight to the next candidate.
size_t FindStreamStart(const uint8_t* Buff, size_t Size);
