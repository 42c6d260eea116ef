// The container bytes that orvane e writes.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "driver_samples.h"
#include "e2e_layout.h"
#include "e2e_run.h"

using samples::Record;

namespace {

// Fixed vectors, their checksums computed apart from orvane: the checked end
// (-2), the input's length and CRC-32C, no stream, and the CRC-32C of all the
// bytes before it.
TEST(OrvaneContainer, SmallestContainers) {
  const std::string Empty("\xFE\xFF\xFF\xFF" + std::string(20, '\0') + "\x71\x3D\xB0\x45");
  EXPECT_EQ(e2e::Encode(""), Empty);
  EXPECT_EQ(e2e::Decode(Empty), "");
  const std::string Ten = "0123456789";
  const std::string Expected = std::string("\0\0\0\0\x0A\0\0\0", 8) + Ten +
                               std::string("\xFE\xFF\xFF\xFF\x0A\0\0\0\0\0\0\0\x9E\x06\x0C\x28"
                                           "\0\0\0\0\0\0\0\0\x86\x63\xF8\x85",
                                           28);
  const std::string Container = e2e::Encode(Ten);
  EXPECT_EQ(Container, Expected);
  EXPECT_EQ(e2e::Decode(Container), Ten);
}

TEST(OrvaneContainer, GroupRecordOfOneBlock) {
  const std::string C1 = samples::TextBytes(40000, 1), C2 = samples::BinaryBytes(50000, 2);
  const std::string R0 = samples::RandomBytes(1000, 3), R1 = "between", Tail = samples::RandomBytes(500, 4);
  const std::string Input = R0 + samples::PackStream(C1, 3) + R1 + samples::PackStream(C2, 8) + Tail;
  const auto Records = samples::ParseContainer(e2e::Encode(Input));
  ASSERT_EQ(Records.size(), 2u);
  const Record& G = Records[0];
  ASSERT_EQ(G.kind, Record::Group);
  EXPECT_EQ(G.lengths, (std::vector<int32_t>{40000, 50000}));
  EXPECT_EQ(G.total, 90000);
  EXPECT_EQ(G.contents, C1 + C2);
  EXPECT_EQ(G.runs, (std::vector<std::string>{R0, R1, Tail}));
  EXPECT_EQ(Records[1].kind, Record::End);
}

TEST(OrvaneContainer, SixtyFourMebibytesWithoutStreams) {
  const std::string Input = samples::RandomBytes(64u << 20, 5);
  const std::string Container = e2e::Encode(Input);
  const auto Records = samples::ParseContainer(Container);
  // Two blocks of 32 MiB; the third, empty window writes nothing.
  ASSERT_EQ(Records.size(), 3u);
  EXPECT_EQ(Records[0].kind, Record::Raw);
  EXPECT_EQ(Records[1].kind, Record::Raw);
  EXPECT_TRUE(Records[0].raw == Input.substr(0, 32u << 20));
  EXPECT_TRUE(Records[1].raw == Input.substr(32u << 20));
  EXPECT_EQ(Records[2].kind, Record::End);
  EXPECT_TRUE(e2e::Decode(Container) == Input);
}

}  // namespace

namespace {

std::string ReadFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), {});
}

// A container of the plain layout, as earlier builds wrote it (groups, raw
// records, the end record -1), still decodes exactly; d and t say in one line
// that it could not be verified.
TEST(OrvaneContainer, PlainLayoutStillDecodes) {
  const std::string Container = ReadFile(ORVANE_TEST_DATA "/plain-layout.orv");
  const std::string Input = ReadFile(ORVANE_TEST_DATA "/plain-layout.input");
  const auto Records = samples::ParseContainer(Container);
  ASSERT_GE(e2e::CountGroups(Records), 2);
  ASSERT_FALSE(Records.back().checked);
  for (const char* Mode : {"d", "t"}) {
    for (const char* Prefix : {"", "taskset -c 0"}) {
      const auto R = e2e::Orvane(Mode, Container, {}, Prefix);
      EXPECT_EQ(R.exit_code, 0) << R.err;
      EXPECT_TRUE(R.out == (*Mode == 'd' ? Input : ""));
      EXPECT_EQ(R.err,
                "orvane: warning: the container has no checksums (an older layout), so the rebuilt input could "
                "not be verified\n");
    }
  }
}

}  // namespace
