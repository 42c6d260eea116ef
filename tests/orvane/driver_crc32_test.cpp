// The container's checksums must be the standard ones that other programs
// compute: CRC-32 as zlib computes it, CRC-32C as iSCSI and ext4 define it.
#include <gtest/gtest.h>
#include <zlib.h>

#include "crc32.h"
#include "driver_samples.h"

namespace {

const auto* Check = reinterpret_cast<const uint8_t*>("123456789");

TEST(OrvaneCrc32, MatchesZlibAtEveryLengthAndAlignment) {
  const std::string Data = samples::RandomBytes(4096, 1);
  const auto* Bytes = reinterpret_cast<const uint8_t*>(Data.data());
  EXPECT_EQ(Crc32(Check, 9), 0xCBF43926u);
  EXPECT_EQ(Crc32(Bytes, 0), 0u);
  for (size_t Start = 0; Start < 9; ++Start)
    for (size_t Length = 0; Length < 300; ++Length)
      ASSERT_EQ(Crc32(Bytes + Start, Length), crc32(0, Bytes + Start, static_cast<uInt>(Length)))
          << Start << " " << Length;
  // A running value carries over between pieces.
  EXPECT_EQ(Crc32(Bytes + 1000, 3096, Crc32(Bytes, 1000)), crc32(0, Bytes, 4096));
}

// The processor's instruction and the tables give one value, so a container
// checks the same on every machine.
TEST(OrvaneCrc32, Crc32CIsTheCastagnoliChecksumWithOrWithoutTheInstruction) {
  EXPECT_EQ(Crc32C(Check, 9), 0xE3069283u);
  EXPECT_EQ(Crc32CPortable(Check, 9), 0xE3069283u);
  const std::string Zeros(32, '\0');
  EXPECT_EQ(Crc32C(reinterpret_cast<const uint8_t*>(Zeros.data()), 32), 0x8A9136AAu);
  const std::string Data = samples::RandomBytes(4096, 2);
  const auto* Bytes = reinterpret_cast<const uint8_t*>(Data.data());
  for (size_t Start = 0; Start < 9; ++Start)
    for (size_t Length = 0; Length < 300; ++Length)
      ASSERT_EQ(Crc32C(Bytes + Start, Length), Crc32CPortable(Bytes + Start, Length)) << Start << " " << Length;
  EXPECT_EQ(Crc32C(Bytes + 1000, 3096, Crc32C(Bytes, 1000)), Crc32CPortable(Bytes, 4096));
}

}  // namespace
