#include "Crc32.h"

#include <array>
#include <cstring>

namespace {

// Eight tables let the loop consume eight bytes per step; the scan computes a
// CRC for every stream it keeps.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables MakeTables() {
  CrcTables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    t[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i)
    for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  return t;
}

constexpr CrcTables Tables = MakeTables();

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t length, uint32_t crc) {
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
