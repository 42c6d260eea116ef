#include "OodleDetect.h"

#include <bit>
#include <climits>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

uint32_t EndianSwap(uint32_t Value) { return __builtin_bswap32(Value); }
uint16_t EndianSwap(uint16_t Value) { return __builtin_bswap16(Value); }

namespace {

constexpr int32_t StoredBlock = 0x40002;  // stored block: 2 header bytes + BlkSize
constexpr int64_t ShortBlockMark = 0x80005;
constexpr uint32_t ChunkMask = 0x7FFFF;

uint32_t ReadBE16(const uint8_t* P) {
  uint16_t V;
  std::memcpy(&V, P, 2);
  if constexpr (std::endian::native == std::endian::little) V = EndianSwap(V);
  return V;
}

// Reads exactly three bytes: a 32-bit load could reach past the available data.
uint32_t ReadBE24(const uint8_t* P) {
  uint32_t V = 0;
  std::memcpy(&V, P, 3);
  if constexpr (std::endian::native == std::endian::little) V = EndianSwap(V);
  return V >> 8;
}

bool IsTypeByte(uint8_t T) {
  // One bit per byte value: 0x02, 0x06, 0x0A, 0x0C and the same plus 0x80.
  constexpr uint64_t Low = (1ull << 0x02) | (1ull << 0x06) | (1ull << 0x0A) | (1ull << 0x0C);
  constexpr uint64_t High = (1ull << 0x06) | (1ull << 0x0A) | (1ull << 0x0C);
  const uint64_t Row = T < 0x40 ? Low : (T >= 0x80 && T < 0xC0) ? High : 0;
  return (Row >> (T & 0x3F)) & 1;
}

bool IsShortType(uint8_t T) { return T == 0x06 || T == 0x0A || T == 0x0C; }
bool IsLongType(uint8_t T) { return T == 0x86 || T == 0x8A || T == 0x8C; }

int32_t CodecClass(uint8_t T) {
  switch (T) {
    case 0x06: case 0x86: return 1;
    case 0x0A: case 0x8A: return 2;
    case 0x0C: case 0x8C: return 3;
    default: return 0;
  }
}

// Bytes of a compressed block header (with its first chunk header) by type.
int64_t HeaderBytes(uint8_t T) { return T == 0x02 ? 5 : IsShortType(T) ? 8 : IsLongType(T) ? 11 : 2; }

// Compressed block length from the header, or -1 for an unknown type byte.
int64_t BlockLength(const uint8_t* P) {
  if (P[1] == 0x02) return int64_t(ReadBE16(P + 2)) + 5;
  if (IsShortType(P[1])) return int64_t(ReadBE24(P + 2)) + 6;
  if (IsLongType(P[1])) return int64_t(ReadBE24(P + 2)) + 9;
  return -1;
}

bool Type02HeaderOk(const uint8_t* P) {
  return (P[2] >> 4) == 0 && ((P[4] >> 4) == 0xF || (P[4] & 0xF) == 0xF);
}

// The first block must hold exactly one or two chunks that fill it. Chunk
// headers start at Header (5 or 8); Available bytes can be read from P.
bool ChunksFillBlock(const uint8_t* P, int64_t Available, int64_t Header, int64_t L) {
  const int64_t M = (ReadBE24(P + Header) & ChunkMask) + Header + 3;
  if (L > M) {
    if (M + 3 > Available) return false;
    return M + (ReadBE24(P + M) & ChunkMask) + 3 == L;
  }
  return L == M;
}

bool FirstBlockOk(const uint8_t* Buff, int32_t ISize) {
  const uint8_t T = Buff[1];
  if (T == 0x02) return Type02HeaderOk(Buff);
  if (IsShortType(T)) return ChunksFillBlock(Buff, ISize, 5, BlockLength(Buff));
  if (IsLongType(T)) return ISize >= 11 && ChunksFillBlock(Buff, ISize, 8, BlockLength(Buff));
  return true;  // unknown types fail in the block walk
}

// A following compressed block whose first chunk header starts with these
// high nibbles is not taken as part of the chain.
bool FollowingBlockOk(const uint8_t* P) {
  const uint8_t T = P[1];
  if (T == 0x02) return Type02HeaderOk(P);
  const int64_t At = IsShortType(T) ? 5 : IsLongType(T) ? 8 : -1;
  if (At < 0) return true;
  const int Nibble = P[At] >> 4;
  return Nibble != 0x7 && Nibble != 0xC;
}

// A header that can follow (or end) a stored block: compressed 0C/8C + type,
// or stored 4C/CC + 06. Searched in P[From, To] (P[i + 1] must be readable).
int64_t FindHeaderAfterStored(const uint8_t* P, int64_t From, int64_t To) {
  for (int64_t i = From; i <= To; i++) {
    const uint8_t B = P[i] | 0x40;  // 0C/8C -> 4C/CC
    if (B == 0x4C || B == 0xCC) {
      if ((P[i] == 0x0C || P[i] == 0x8C) ? IsTypeByte(P[i + 1]) : P[i + 1] == 0x06) return i;
    }
  }
  return -1;
}

// Length of a stored block at P with Left bytes available from P, or 0 when
// the chain ends before it. Continues tells whether another block of the same
// stream follows directly.
//
// Fewer than 0x40002 bytes left (the block ends near the end of the data): the
// block ends at the first header found in it, as in the full case, and without
// one it runs to the very end of the data, which ends the chain. A first block
// must still be a full stored block, so it yields no stream here. A wrong guess
// only costs a probe: the size probe and the level search reject it.
int64_t StoredLength(const uint8_t* P, int64_t Left, bool First, bool& Continues) {
  Continues = false;
  auto At = [&](int64_t K) { return K < Left ? int(P[K]) : -1; };
  const int64_t Found = [&] {
    if (Left >= StoredBlock) {
      if ((At(StoredBlock) == 0x4C && At(StoredBlock + 1) == 0x06) ||
          (First && (At(StoredBlock) == 0x0C || At(StoredBlock) == 0x4C))) {
        Continues = true;
        return int64_t(StoredBlock);
      }
      if (First) return int64_t(0);
      if (P[BlkSize] == 0x0C && IsTypeByte(P[BlkSize + 1])) return int64_t(0);
      return FindHeaderAfterStored(P, 2, BlkSize - 1);
    }
    if (First || Left <= 2) return int64_t(0);
    const int64_t I = FindHeaderAfterStored(P, 2, Left - 2);
    return I < 0 ? Left : I;
  }();
  if (Found <= 0) return 0;
  if (Found < Left && Found != StoredBlock) Continues = P[Found] == 0x0C || P[Found] == 0x4C;
  return Found;
}

// Walks the blocks from offset CSize of Start. Returns false when the whole
// stream is rejected; otherwise CSize and DSize cover the blocks that belong
// to it.
bool WalkChain(const uint8_t* Start, int32_t ISize, int32_t& CSize, int32_t& DSize, bool First) {
  int64_t C = CSize, D = DSize;
  for (bool FirstBlock = First;; FirstBlock = false) {
    const int64_t Left = ISize - C;
    if (Left < 2) break;
    const uint8_t* P = Start + C;
    const uint8_t Flags = P[0];
    if (!FirstBlock) {
      if (Flags != 0x0C && Flags != 0x4C) break;
      if (Flags == 0x0C && (Left < HeaderBytes(P[1]) || !FollowingBlockOk(P))) break;
    }
    if (Flags == 0x8C || Flags == 0x0C) {
      int64_t L = BlockLength(P);
      if (L < 0 || (FirstBlock && L < MinSize)) break;
      if (C + L > ISize) return false;
      if (L == ShortBlockMark) L = 6;
      // The decompressed length must fit the 32-bit sizes of the container
      // (stored blocks below are held to the same limit).
      if (D + BlkSize > INT32_MAX) return false;
      C += L;
      D += BlkSize;
    } else {
      if (P[1] != 0x06) break;
      bool Continues;
      const int64_t L = StoredLength(P, Left, FirstBlock, Continues);
      if (L <= 0) break;
      if (D + (L - 2) > INT32_MAX) return false;
      C += L;
      D += L - 2;
      if (!Continues) break;
    }
  }
  CSize = static_cast<int32_t>(C);
  DSize = static_cast<int32_t>(D);
  return true;
}

}  // namespace

void GetOodleSI(const uint8_t* Buff, int32_t ISize, int32_t& CSize, int32_t& DSize, int32_t& PCodec,
                bool First) {
  if (!First) {
    if (!WalkChain(Buff - CSize, ISize, CSize, DSize, false)) CSize = DSize = 0;
    return;
  }
  CSize = DSize = PCodec = 0;
  if (ISize < 8) return;
  // Almost every position ends here: a start byte must be followed by a type
  // byte its block can have (0x8C: one of the seven; 0xCC: stored, 0x06).
  if (Buff[0] == 0x8C) {
    if (!IsTypeByte(Buff[1])) return;
  } else if (Buff[0] != 0xCC || Buff[1] != 0x06) {
    return;
  }
  if (Buff[0] == 0x8C && !FirstBlockOk(Buff, ISize)) return;
  PCodec = CodecClass(Buff[1]);
  if (!WalkChain(Buff, ISize, CSize, DSize, true) || CSize == 0) CSize = DSize = PCodec = 0;
}

size_t FindStreamStart(const uint8_t* Buff, size_t Size) {
  size_t i = 0;
#if defined(__SSE2__)
  // Per 16 positions: first byte 0x8C or 0xCC (they differ only in bit 6), and
  // next byte a type byte: 0x02, or 0x06/0x0A/0x0C with or without bit 7.
  const __m128i Bit6 = _mm_set1_epi8(0x40);
  const __m128i StartByte = _mm_set1_epi8(static_cast<char>(0xCC));
  const __m128i Low7 = _mm_set1_epi8(0x7F);
  const __m128i T02 = _mm_set1_epi8(0x02), T06 = _mm_set1_epi8(0x06);
  const __m128i T0A = _mm_set1_epi8(0x0A), T0C = _mm_set1_epi8(0x0C);
  auto Hits = [&](size_t At) {
    const __m128i B0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Buff + At));
    const __m128i B1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Buff + At + 1));
    const __m128i First = _mm_cmpeq_epi8(_mm_or_si128(B0, Bit6), StartByte);
    const __m128i T = _mm_and_si128(B1, Low7);
    const __m128i Type = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(T, T06), _mm_cmpeq_epi8(T, T0A)),
                                      _mm_or_si128(_mm_cmpeq_epi8(T, T0C), _mm_cmpeq_epi8(B1, T02)));
    return uint32_t(_mm_movemask_epi8(_mm_and_si128(First, Type)));
  };
  for (; i + 33 <= Size; i += 32) {
    const uint32_t Mask = Hits(i) | Hits(i + 16) << 16;
    if (Mask != 0) return i + static_cast<size_t>(std::countr_zero(Mask));
  }
#endif
  for (; i < Size; i++)
    if ((Buff[i] | 0x40) == 0xCC && (i + 1 == Size || IsTypeByte(Buff[i + 1]))) return i;
  return Size;
}
