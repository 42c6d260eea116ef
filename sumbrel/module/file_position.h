// 64-bit file positions, one file per system: `long` is 32 bits on Windows, where ftell
// cannot tell a file of 2 GiB or more from a small one.
#pragma once
#include <cstdint>
#include <cstdio>

// The file's length (the position at its end, where it leaves the file), or -1.
int64_t SeekToEnd(FILE* file);
