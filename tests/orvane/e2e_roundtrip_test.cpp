// orvane e | orvane d gives back the input, and the container in between
// replaces exactly the streams that can be reproduced.
#include <gtest/gtest.h>
#include <zlib.h>

#include "crc32.h"
#include "driver_samples.h"
#include "e2e_layout.h"
#include "e2e_run.h"

using samples::Record;

namespace {

const uint8_t* Bytes(const std::string& S) { return reinterpret_cast<const uint8_t*>(S.data()); }

// Encodes, checks the container against the format and the expected streams,
// decodes with every processor and with one; returns the records.
std::vector<Record> RoundTrip(const e2e::Layout& L, e2e::Sizes S = {}) {
  const std::string Container = e2e::Encode(L.input, S);
  std::vector<Record> Records;
  EXPECT_NO_THROW(Records = samples::ParseContainer(Container));
  EXPECT_EQ(e2e::ReferenceDecode(Records), L.input);
  EXPECT_TRUE(e2e::StoredContents(Records) == L.contents);
  // The trailer describes this input, its kept streams and the container.
  if (!Records.empty()) {
    const Record& End = Records.back();
    EXPECT_TRUE(End.checked);
    EXPECT_EQ(End.inputLength, static_cast<int64_t>(L.input.size()));
    EXPECT_EQ(End.inputCrc, Crc32C(Bytes(L.input), L.input.size()));
    std::vector<uint32_t> StreamCrcs;
    for (const std::string& Stream : L.streams)
      StreamCrcs.push_back(static_cast<uint32_t>(crc32(0, Bytes(Stream), static_cast<uInt>(Stream.size()))));
    EXPECT_EQ(End.streamCrcs, StreamCrcs);
    EXPECT_EQ(End.checksum, Crc32C(Bytes(Container), Container.size() - 4));
  }
  EXPECT_TRUE(e2e::Decode(Container) == L.input);
  EXPECT_TRUE(e2e::Decode(Container, "taskset -c 0") == L.input);
  const auto Tested = e2e::Orvane("t", Container);
  EXPECT_EQ(Tested.exit_code, 0) << Tested.err;
  EXPECT_EQ(Tested.out + Tested.err, "");
  return Records;
}

TEST(OrvaneRoundTrip, InputsWithoutStreams) {
  for (const std::string& Input : {std::string(), std::string("x"), samples::RandomBytes(100000, 1),
                                   samples::TextBytes(50000, 2)}) {
    const auto Records = RoundTrip(e2e::Layout().Raw(Input), {4096, 0});
    EXPECT_EQ(e2e::CountGroups(Records), 0);
    // One raw record per block of 4096 bytes, then the end record.
    EXPECT_EQ(Records.size(), (Input.size() + 4095) / 4096 + 1);
  }
}

TEST(OrvaneRoundTrip, StreamsAtBlockStartsAndEnds) {
  const std::string A = samples::PackStream(samples::TextBytes(20000, 3), 4);
  const int64_t Block = 16384;
  ASSERT_LT(A.size(), 8000u);
  e2e::Layout L;
  L.Stream(samples::TextBytes(20000, 3), 4);                           // at the first block's start
  L.Raw(samples::RandomBytes(static_cast<size_t>(Block) - 2 * A.size(), 4));
  L.Stream(samples::TextBytes(20000, 3), 4);                           // ends at the block's end
  L.Stream(samples::BinaryBytes(30000, 5), 2);                         // starts the second block
  L.Raw(samples::RandomBytes(3000, 6));
  L.Stream(samples::TextBytes(5000, 7), 7);                            // ends the input
  const auto Records = RoundTrip(L, {Block, 0});
  EXPECT_EQ(e2e::StoredContents(Records).size(), 4u);
}

TEST(OrvaneRoundTrip, StreamCrossingBlockBoundaries) {
  const std::string Contents = samples::TextBytes(60000, 8);
  const std::string Packed = samples::PackStream(Contents, 5);
  // A stream that starts shortly before the end of the first block and runs
  // into the second, followed by streams and raw bytes in later blocks.
  {
    const int64_t Block = static_cast<int64_t>(Packed.size()) + 1000;
    e2e::Layout L;
    L.Raw(samples::RandomBytes(static_cast<size_t>(Block) - 100, 9)).Stream(Contents, 5);
    L.Raw(samples::RandomBytes(9000, 10)).Stream(samples::BinaryBytes(20000, 11), 3);
    L.Raw(samples::TextBytes(static_cast<size_t>(Block), 12));
    const auto Records = RoundTrip(L, {Block, 0});
    // The second block holds no stream of its own: its raw record starts
    // after the stream's end.
    const size_t StreamEnd = static_cast<size_t>(Block) - 100 + Packed.size();
    ASSERT_GE(Records.size(), 3u);
    EXPECT_EQ(Records[1].kind, Record::Raw);
    EXPECT_TRUE(Records[1].raw == L.input.substr(StreamEnd, 2 * static_cast<size_t>(Block) - StreamEnd));
  }
  // A stream that covers the whole second block: that block adds an empty raw
  // record, and the third block starts right after the stream.
  {
    const size_t Prefix = 10 + Packed.size() % 2;
    const int64_t Block = static_cast<int64_t>(Prefix + Packed.size()) / 2;
    e2e::Layout L;
    L.Raw(samples::RandomBytes(Prefix, 13)).Stream(Contents, 5).Raw(samples::RandomBytes(20000, 14));
    const auto Records = RoundTrip(L, {Block, 0});
    ASSERT_GE(Records.size(), 3u);
    EXPECT_EQ(Records[0].kind, Record::Group);
    EXPECT_EQ(Records[1].kind, Record::Raw);
    EXPECT_EQ(Records[1].raw, "");
  }
}

TEST(OrvaneRoundTrip, BackToBackStreamsAtEveryLevel) {
  e2e::Layout L;
  for (int Level = 1; Level <= 9; ++Level)
    L.Stream(Level % 2 ? samples::TextBytes(30000 + 1000 * Level, 20 + Level)
                       : samples::BinaryBytes(30000, 20 + Level),
             Level);
  const auto Records = RoundTrip(L, {1 << 20, 0});
  ASSERT_EQ(Records.size(), 2u);
  // Only streams: every raw run of the group is empty.
  for (const auto& Run : Records[0].runs) EXPECT_EQ(Run, "");
  // Each stored level reproduces its stream (it may be another level than the
  // one used when several give the same bytes).
  for (size_t i = 0; i < L.streams.size(); ++i)
    EXPECT_EQ(samples::PackStream(L.contents[i], Records[0].levels[i]), L.streams[i]) << i;
}

TEST(OrvaneRoundTrip, UnreproducibleStreamStaysRaw) {
  const std::string Odd = samples::UnreproducibleStream(20000);
  e2e::Layout L;
  L.Raw("head").Raw(Odd).Raw("middle").Stream(samples::TextBytes(20000, 30), 6).Raw(Odd).Raw("tail");
  const auto Records = RoundTrip(L);
  ASSERT_EQ(Records.size(), 2u);
  ASSERT_EQ(Records[0].runs.size(), 2u);
  EXPECT_EQ(Records[0].runs[0], "head" + Odd + "middle");
  EXPECT_EQ(Records[0].runs[1], Odd + "tail");
}

TEST(OrvaneRoundTrip, GroupsCutByTheirDecompressedSize) {
  e2e::Layout L;
  for (int i = 0; i < 7; ++i) L.Raw(samples::RandomBytes(100, 40 + i)).Stream(samples::TextBytes(10000, 50 + i), 4);
  L.Raw(samples::RandomBytes(100, 60)).Stream(samples::TextBytes(70000, 61), 3).Raw("end");
  // Groups of at most 25,000 decompressed bytes: three of two streams, one of
  // one, then the large stream alone.
  const auto Records = RoundTrip(L, {1 << 20, 25000});
  ASSERT_EQ(Records.size(), 6u);
  const std::vector<size_t> Sizes = {2, 2, 2, 1, 1};
  for (size_t g = 0; g < Sizes.size(); ++g) {
    ASSERT_EQ(Records[g].kind, Record::Group);
    EXPECT_EQ(Records[g].levels.size(), Sizes[g]);
    int64_t Sum = 0;
    for (int32_t U : Records[g].lengths) Sum += U;
    EXPECT_EQ(Records[g].total, Sum);
    // Only the block's last group ends with the rest of the block.
    EXPECT_EQ(Records[g].runs.back(), g + 1 < Sizes.size() ? "" : "end");
  }
}

TEST(OrvaneRoundTrip, MixedArchiveOverManyBlocks) {
  std::vector<int> Levels;
  const std::string Input = samples::Archive(1 << 21, 70, 2000, 60000, nullptr, &Levels);
  const std::string Container = e2e::Encode(Input, {100000, 200000});
  const auto Records = samples::ParseContainer(Container);
  EXPECT_EQ(e2e::ReferenceDecode(Records), Input);
  EXPECT_EQ(e2e::StoredContents(Records).size(), Levels.size());
  EXPECT_TRUE(e2e::Decode(Container) == Input);
  EXPECT_TRUE(e2e::Decode(Container, "taskset -c 0") == Input);
  // Encoding on one processor may store other levels but decodes the same.
  const std::string Single = e2e::Encode(Input, {100000, 200000}, "taskset -c 0");
  EXPECT_TRUE(e2e::Decode(Single) == Input);
}

// The largest block size the encoder takes, whose window of two blocks just
// fits 32-bit offsets, must not cost a byte of an input that reaches past
// 2 GiB. Streamed through pipes, so that no copy is held here.
TEST(OrvaneRoundTrip, LargestBlockSizeLosesNothing) {
  const std::string Input = "head -c 2147500000 /dev/zero";  // past two blocks of 1 GiB
  const std::string Bin = testsupport::ShellQuote(ORVANE_BIN);
  const auto R = testsupport::RunCommand("expected=$(" + Input + " | cksum); got=$(" + Input +
                                             " | timeout 300 " + testsupport::ShellQuote(ORVANE_SIZED_BIN) +
                                             " 1073741823 0" +
                                             " | timeout 300 " + Bin + " d | cksum); echo \"$expected\"; echo \"$got\"",
                                         "/");
  const size_t Newline = R.out.find('\n');
  ASSERT_NE(Newline, std::string::npos) << R.out << R.err;
  EXPECT_EQ(R.out.substr(0, Newline + 1), R.out.substr(Newline + 1)) << R.err;
}

}  // namespace
