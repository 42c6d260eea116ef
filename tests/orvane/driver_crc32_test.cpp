// The encoder's CRC-32 must be the standard one, as zlib computes it.
#include <gtest/gtest.h>
#include <zlib.h>

#include "Crc32.h"
#include "driver_samples.h"

namespace {

TEST(OrvaneCrc32, MatchesZlibAtEveryLengthAndAlignment) {
  const std::string Data = samples::RandomBytes(4096, 1);
  const auto* Bytes = reinterpret_cast<const uint8_t*>(Data.data());
  EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
  EXPECT_EQ(Crc32(Bytes, 0), 0u);
  for (size_t Start = 0; Start < 9; ++Start)
    for (size_t Length = 0; Length < 300; ++Length)
      ASSERT_EQ(Crc32(Bytes + Start, Length), crc32(0, Bytes + Start, static_cast<uInt>(Length)))
          << Start << " " << Length;
  // A running value carries over between pieces.
  EXPECT_EQ(Crc32(Bytes + 1000, 3096, Crc32(Bytes, 1000)), crc32(0, Bytes, 4096));
}

}  // namespace
