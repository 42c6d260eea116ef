#pragma once
// Two standard checksums, so that other programs can compute what ours record:
// - CRC-32 (reflected polynomial 0xEDB88320), the value zlib's crc32 gives:
//   orvane's cheap first test of a recompression, and what its container
//   records of every kept stream;
// - CRC-32C (Castagnoli, reflected polynomial 0x82F63B78), the value of iSCSI,
//   ext4 and SSE4.2's crc32 instruction: the checksum of orvane's whole input
//   and container, and of the MP3 file in sumbrel's format 2, computed on every
//   byte that passes.
#include <cstddef>
#include <cstdint>

// Continue the running value `crc` over `data`; start with 0.
uint32_t Crc32(const uint8_t* data, size_t length, uint32_t crc = 0);
uint32_t Crc32C(const uint8_t* data, size_t length, uint32_t crc = 0);

// CRC-32C without the processor's instruction, for machines without it; gives
// the same values as Crc32C, which the tests hold it to.
uint32_t Crc32CPortable(const uint8_t* data, size_t length, uint32_t crc = 0);
