// Binding of the outside Oodle codec library, loaded from the program's own
// directory. Without the library the program still runs: the entry points stay
// empty and every call through OodleCompress/OodleDecompress fails.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace OodleDLL {

// Lengths and results are pointer-sized so that the real library's entry points
// fit the same types.
using TOodleLZ_Compress = intptr_t (*)(int32_t A1_Codec, const void* A2_Buf, intptr_t A3_Len,
                                       void* A4_Dst, int32_t A5_Method, const void* A6_Opt,
                                       const void* A7_Dict, void* A8);
using TOodleLZ_Decompress = intptr_t (*)(const void* CompBuf, intptr_t CompBufSize, void* RawBuf,
                                         intptr_t RawLen, int32_t OodleLZ_FuzzSafe,
                                         int32_t OodleLZ_CheckCRC, int32_t OodleLZ_Verbosity,
                                         void* DecBufBase, intptr_t DecBufSize, void* FpCallback,
                                         void* CallbackUserData, void* DecoderMemory,
                                         intptr_t DecoderMemorySize, int32_t ThreadPhase);

extern bool DLLLoaded;
extern void* DLLHandle;
extern TOodleLZ_Compress OodleLZ_Compress;
extern TOodleLZ_Decompress OodleLZ_Decompress;

constexpr int32_t OodleCodec = 9;

// Raised by OodleCompress/OodleDecompress when the library is not loaded.
struct EOodleMissing : std::runtime_error {
  EOodleMissing() : std::runtime_error("Oodle library not loaded") {}
};

// Loads the library from the program's directory unless it is loaded already.
// Runs once by itself at start-up; calling it again is harmless.
void Init();
// Frees the library (also done at exit).
void Deinit();
// Init from another directory (ending in '/'); for tests and tools.
void LoadFrom(const std::string& Directory);
// The directory of the running program file, ending in '/'.
std::string ProgramDirectory();

// Room that a compression output buffer needs for RawLen bytes. The library
// takes no capacity, and twice the raw length is not enough for tiny inputs
// (a 1-byte input gives a 10-byte stream): LZ4 may grow a block by 1/255 plus
// 16 bytes, Oodle by up to 274 bytes per block of 262,144.
inline int64_t CompressedBufferSize(int64_t RawLen) {
  const int64_t Worst = RawLen + RawLen / 255 + 274 * (RawLen / 0x40000 + 1);
  return Worst > 2 * RawLen ? Worst : 2 * RawLen;
}

// The two calls with the fixed arguments orvane always passes: codec 9, no
// options, no dictionary; no fuzz-safe flag, no CRC check, thread phase 3.
// Dst must hold CompressedBufferSize(RawLen) bytes.
int32_t OodleCompress(const void* Raw, int32_t RawLen, void* Dst, int32_t Level);
// Result above 0: bytes produced (the stream decoded to exactly RawLen);
// otherwise failure.
int32_t OodleDecompress(const void* Comp, int32_t CompLen, void* Raw, int32_t RawLen);

}  // namespace OodleDLL
