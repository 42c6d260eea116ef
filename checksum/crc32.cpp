#include "crc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <nmmintrin.h>
#define CRC32C_INSTRUCTION 1
#endif

namespace {

// Eight tables let the loop consume eight bytes per step.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables MakeTables(uint32_t Polynomial) {
  CrcTables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ Polynomial : c >> 1;
    t[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i)
    for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  return t;
}

constexpr CrcTables Crc32Tables = MakeTables(0xEDB88320u);
constexpr CrcTables Crc32CTables = MakeTables(0x82F63B78u);

uint32_t SliceBy8(const CrcTables& Tables, const uint8_t* data, size_t length, uint32_t crc) {
  uint32_t c = ~crc;
  while (length >= 8) {
    uint32_t lo, hi;
    std::memcpy(&lo, data, 4);
    std::memcpy(&hi, data + 4, 4);
    lo ^= c;  // little-endian host, as on every target we build for
    c = Tables[7][lo & 0xFF] ^ Tables[6][(lo >> 8) & 0xFF] ^ Tables[5][(lo >> 16) & 0xFF] ^
        Tables[4][lo >> 24] ^ Tables[3][hi & 0xFF] ^ Tables[2][(hi >> 8) & 0xFF] ^
        Tables[1][(hi >> 16) & 0xFF] ^ Tables[0][hi >> 24];
    data += 8;
    length -= 8;
  }
  while (length--) c = (c >> 8) ^ Tables[0][(c ^ *data++) & 0xFF];
  return ~c;
}

#ifdef CRC32C_INSTRUCTION
// Both directions hash every byte they read and write, so the processor's
// instruction is used where it has one: it is several times faster than the
// tables.
__attribute__((target("sse4.2"))) uint32_t Crc32CInstruction(const uint8_t* data, size_t length,
                                                              uint32_t crc) {
#if defined(__x86_64__)
  uint64_t c = ~crc;
  while (length >= 8) {
    uint64_t v;
    std::memcpy(&v, data, 8);
    c = _mm_crc32_u64(c, v);
    data += 8;
    length -= 8;
  }
  uint32_t c32 = static_cast<uint32_t>(c);
#else  // the 32-bit plug-in: four bytes a step
  uint32_t c32 = ~crc;
  while (length >= 4) {
    uint32_t v;
    std::memcpy(&v, data, 4);
    c32 = _mm_crc32_u32(c32, v);
    data += 4;
    length -= 4;
  }
#endif
  while (length--) c32 = _mm_crc32_u8(c32, *data++);
  return ~c32;
}

bool HasCrc32CInstruction() {
  unsigned a, b, c, d;
  return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_SSE4_2) != 0;
}

const bool UseInstruction = HasCrc32CInstruction();
#endif

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t length, uint32_t crc) { return SliceBy8(Crc32Tables, data, length, crc); }

uint32_t Crc32CPortable(const uint8_t* data, size_t length, uint32_t crc) {
  return SliceBy8(Crc32CTables, data, length, crc);
}

uint32_t Crc32C(const uint8_t* data, size_t length, uint32_t crc) {
#ifdef CRC32C_INSTRUCTION
  if (UseInstruction) return Crc32CInstruction(data, length, crc);
#endif
  return Crc32CPortable(data, length, crc);
}
