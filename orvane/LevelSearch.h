// Finding the level that reproduces a stream (encode) and applying it to
// rebuild the stream from its contents (decode). Both run on worker tasks and
// talk to the drivers only through the program-wide state.
#pragma once

#include <cstdint>

#include "MemoryStreams.h"

// Encode worker: takes rows of Info one by one and sets the level of every row
// whose contents, compressed again, give exactly the stream's bytes in the
// window. Rows it cannot reproduce keep level 0.
void Compress();

// The level (1 to 9) at which the codec turns the Plain bytes at Contents into
// exactly the Packed bytes at Stream, or 0 if none does. First is tried before
// 1 to 9, so the answer is First when it reproduces the stream, else the lowest
// level that does. Buffer must hold OodleDLL::CompressedBufferSize(Plain) bytes.
//
// With Quick, a level is first tried on the contents' first block alone, and
// only one whose output begins the stream gets a full trial. That rejects
// wrong levels of a long stream at a fraction of the cost, and gives the same
// answer as long as the codec's first block does not depend on what follows.
// For a codec where it does, every level the first block turned away gets its
// full trial before the stream is given up, and *Rescued tells that one of
// them reproduced it.
int32_t FindLevel(const uint8_t* Contents, int32_t Plain, const uint8_t* Stream, int32_t Packed, int32_t First,
                  uint8_t* Buffer, bool Quick = true, bool* Rescued = nullptr);

// Called when encode starts: the workers trust the first-block check until a
// stream it turned away is rescued, and then do without it for the rest of
// the run, since the codec has shown that its first block depends on more.
void TrustFirstBlockCheck();

// Decode worker (with more than one worker): rebuilds the streams of the group
// as their contents arrive, overwriting the contents in Store, and raises each
// stream's Completed flag.
void Recompress();

// Compresses the contents of decode row Row at its stored level into Buffer,
// records the result's length and CRC-32 in the row, and returns the length.
// When the codec gives nothing, or more bytes than the contents (which no
// container can cause with the codec that made it), the length is 0: the
// stream is left out of the output, and the check at the end names it.
int32_t RebuildStream(int32_t Row, TMemoryStream& Buffer);
