#include <gtest/gtest.h>

#include <set>

#include "bitstream/huffman_tables.h"

namespace {

class CodeTablesTest : public ::testing::Test {
 protected:
  void SetUp() override { BuildCodeTables(); }
  void TearDown() override { ReleaseCodeTables(); }
};

TEST_F(CodeTablesTest, TableOneHasTheStandardCodesInDecodeOrder) {
  const uint32_t expectedList[] = {0x300, 0x510, 0x811, 0x901, 0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(huffDecodeList[1][i], expectedList[i]) << i;
  const uint32_t expectedCodes[] = {1, 1, 1, 0};
  const uint8_t expectedLengths[] = {1, 3, 2, 3};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(huffCodes[1][i], expectedCodes[i]);
    EXPECT_EQ(huffLengths[1][i], expectedLengths[i]);
  }
}

TEST_F(CodeTablesTest, SlotsAreSharedOrAbsentAsTheLinbitsFamiliesRequire) {
  for (int t = 17; t <= 23; ++t) {
    EXPECT_EQ(huffCodes[t], huffCodes[16]);
    EXPECT_EQ(huffLengths[t], huffLengths[16]);
    EXPECT_EQ(huffDecodeList[t], huffDecodeList[16]);
  }
  for (int t = 25; t <= 31; ++t) EXPECT_EQ(huffDecodeList[t], huffDecodeList[24]);
  for (int t : {0, 4, 14}) {
    EXPECT_EQ(huffCodes[t], nullptr);
    EXPECT_EQ(huffDecodeList[t], nullptr);
  }
  ReleaseCodeTables();
  for (int t = 0; t < 34; ++t) EXPECT_EQ(huffDecodeList[t], nullptr);
  ReleaseCodeTables();  // a second release finds nothing to free
  BuildCodeTables();
  EXPECT_EQ(huffDecodeList[1][0], 0x300u);
}

// Walks a decode list the slow way: bits appended one at a time to a number starting at 1.
int WalkDecode(const uint32_t* list, uint32_t code, int length) {
  uint32_t number = 1;
  int used = 0;
  for (; *list; ++list) {
    const uint32_t key = *list >> 8;
    while (number < key) {
      if (used == length) return -1;
      number = number * 2 + (code >> (length - 1 - used) & 1);
      ++used;
    }
    if (number == key) return used == length ? int(*list & 0xFF) : -2;
  }
  return -3;
}

TEST_F(CodeTablesTest, EveryCodeDecodesBackToItsPairAndListsAreSorted) {
  int longest = 0;
  for (int t = 1; t < 34; ++t) {
    if (!huffCodes[t]) continue;
    const HuffmanShape& shape = huffmanShape[t];
    const int count = shape.xlen * shape.ylen;
    std::set<uint32_t> keys;
    for (int i = 0; i < count; ++i) {
      const int length = huffLengths[t][i];
      longest = std::max(longest, length);
      const int x = i / shape.ylen, y = i % shape.ylen;
      EXPECT_EQ(WalkDecode(huffDecodeList[t], huffCodes[t][i], length), (x << 4) | y)
          << "table " << t << " pair " << x << "," << y;
      keys.insert((1u << length) + huffCodes[t][i]);
    }
    EXPECT_EQ(int(keys.size()), count) << "table " << t << " has a repeated code";
    for (int i = 0; i + 1 < count; ++i) EXPECT_LT(huffDecodeList[t][i], huffDecodeList[t][i + 1]);
    EXPECT_EQ(huffDecodeList[t][count], 0u);
  }
  EXPECT_EQ(longest, 19);
}

TEST_F(CodeTablesTest, Count1TablesAndTheirEncodeArray) {
  // Table A codes 0 with the single bit 1; table B codes q with the four bits of 15 - q.
  EXPECT_EQ(huffLengths[32][0], 1);
  EXPECT_EQ(huffCodes[32][0], 1u);
  for (int q = 0; q < 16; ++q) {
    EXPECT_EQ(huffLengths[33][q], 4);
    EXPECT_EQ(huffCodes[33][q], uint32_t(15 - q));
  }
  EXPECT_EQ(count1Encode[256 + 0], 15 | (4 << 10));
  // v = -1, w = 0, x = 1, y = 0 in table B: code of 1010 (= 0101) then signs 1, 0.
  const uint16_t entry = count1Encode[256 + 64 * 3 + 4 * 1];
  EXPECT_EQ(entry >> 10, 6);
  EXPECT_EQ(entry & 1023, (5u << 2) | 2u);
  // Values outside {-1, 0, 1} have no entry.
  EXPECT_EQ(count1Encode[64 * 2], 0);
  for (int index = 0; index < 256; ++index) {
    const int c[4] = {index >> 6 & 3, index >> 4 & 3, index >> 2 & 3, index & 3};
    if (c[0] == 2 || c[1] == 2 || c[2] == 2 || c[3] == 2) continue;
    int s = 0, signs = 0;
    for (int k = 0; k < 4; ++k) s = s * 2 + (c[k] != 0), signs += c[k] != 0;
    EXPECT_EQ(count1Encode[index] >> 10, huffLengths[32][s] + signs) << index;
  }
}

}  // namespace
