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

// Decode worker (with more than one worker): rebuilds the streams of the group
// as their contents arrive, overwriting the contents in Store, and raises each
// stream's Completed flag.
void Recompress();

// Compresses the contents of decode row Row at its stored level into Buffer
// and returns the length. Throws EContainerError when the codec gives nothing
// or more bytes than the contents, which no container written by the encoder
// can cause.
int32_t RebuildStream(int32_t Row, TMemoryStream& Buffer);
