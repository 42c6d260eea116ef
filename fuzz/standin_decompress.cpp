// The stand-in codec's decompression over any bytes and any requested length.
// Input: a 32-bit little-endian word for the raw length (top bit set: a
// negative length), then the compressed bytes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_check.h"

extern "C" {
intptr_t OodleLZ_Compress(int32_t Codec, const void* Buf, intptr_t Len, void* Dst, int32_t Method,
                          const void* Opt, const void* Dict, void* Unused);
intptr_t OodleLZ_Decompress(const void* CompBuf, intptr_t CompBufSize, void* RawBuf, intptr_t RawLen,
                            int32_t FuzzSafe, int32_t CheckCRC, int32_t Verbosity, void* DecBufBase,
                            intptr_t DecBufSize, void* FpCallback, void* CallbackUserData,
                            void* DecoderMemory, intptr_t DecoderMemorySize, int32_t ThreadPhase);
}

namespace {

intptr_t Decompress(const uint8_t* Comp, intptr_t CompLen, uint8_t* Raw, intptr_t RawLen) {
  return OodleLZ_Decompress(Comp, CompLen, Raw, RawLen, 0, 0, 0, nullptr, 0, nullptr, nullptr, nullptr, 0, 3);
}

// Exactly the bytes given, on the heap, so that a read past them is seen.
std::vector<uint8_t> Copy(const uint8_t* Data, size_t Size) { return std::vector<uint8_t>(Data, Data + Size); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 4) return 0;
  uint32_t Word;
  std::memcpy(&Word, Data, 4);
  const std::vector<uint8_t> Comp = Copy(Data + 4, Size - 4);
  const intptr_t CompLen = intptr_t(Comp.size());

  if (Word & 0x80000000u) {
    uint8_t Raw[16];
    FUZZ_CHECK(Decompress(Comp.data(), CompLen, Raw, -intptr_t(Word & 0x7FFFFFFF)) == 0,
               "a negative length decoded");
    return 0;
  }
  // Up to 4 MiB: sixteen blocks, enough for every path between blocks.
  const intptr_t RawLen = intptr_t(Word & 0x3FFFFF);
  std::vector<uint8_t> Raw(size_t(RawLen), 0xA5);
  const intptr_t Got = Decompress(Comp.empty() ? nullptr : Comp.data(), CompLen,
                                  Raw.empty() ? nullptr : Raw.data(), RawLen);
  FUZZ_CHECK(Got == 0 || Got == RawLen, "a result other than failure or the requested length");
  if (Got == 0) return 0;

  // The decoder must take exactly the bytes it was given: one less or one more fails.
  std::vector<uint8_t> Other(Raw.size());
  const std::vector<uint8_t> Shorter = Copy(Comp.data(), Comp.size() - 1);
  FUZZ_CHECK(Shorter.empty() || Decompress(Shorter.data(), CompLen - 1, Other.data(), RawLen) == 0,
             "a truncated stream decoded");
  std::vector<uint8_t> Longer = Comp;
  Longer.push_back(0);
  FUZZ_CHECK(Decompress(Longer.data(), CompLen + 1, Other.data(), RawLen) == 0,
             "a stream with a byte appended decoded");

  // What decoded compresses back at every level to a stream that decodes to it.
  const int32_t Level = 1 + int32_t(Comp[0] % 9);
  std::vector<uint8_t> Packed(size_t(2 * RawLen + 274 * (RawLen / 0x40000 + 1)));
  const intptr_t PackedLen = OodleLZ_Compress(9, Raw.data(), RawLen, Packed.data(), Level, nullptr, nullptr, nullptr);
  FUZZ_CHECK(PackedLen > 0 && size_t(PackedLen) <= Packed.size(), "compression failed or overran");
  FUZZ_CHECK(Decompress(Packed.data(), PackedLen, Other.data(), RawLen) == RawLen && Other == Raw,
             "a recompressed stream did not decode to its contents");
  return 0;
}
