#pragma once
// Standard CRC-32 (reflected polynomial 0xEDB88320), the same value zlib's
// crc32 gives; the encoder uses it as a cheap first test of a recompression.
#include <cstddef>
#include <cstdint>

// Continues the running value `crc` over `data`; start with 0.
uint32_t Crc32(const uint8_t* data, size_t length, uint32_t crc = 0);
