// Mode e: reads standard input, replaces every stream it can reproduce by its
// decompressed contents and level, and writes the container to standard output.
#pragma once

#include <cstdint>

#include "ProgramState.h"

// BlockSize and GroupLimit default to ChunkSize and DecodeSize; smaller values
// let tests reach many blocks and groups with small inputs. Throws on read or
// write failures of standard input or output.
void Encode(int32_t BlockSize = ChunkSize, int64_t GroupLimit = DecodeSize);
