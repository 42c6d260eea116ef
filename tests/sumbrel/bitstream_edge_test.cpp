// Frames built field by field through the writer, to reach cases real encoders rarely make.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "bitstream/huffman_tables.h"
#include "bitstream_roundtrip.h"

using namespace bitstream_test;

namespace {

// MPEG-1 Layer III, no CRC, 128 kbit/s, 44.1 kHz, mono: 417-byte frames.
constexpr uint32_t kMonoHeader = 0xFFFB90C0;
constexpr int kMonoMainBytes = 417 - 4 - 17;

// Overwrites `width` bits starting at stream bit `offset` (first bit = bit 7 of byte 0).
void SetBits(Bytes& bytes, size_t offset, int width, uint32_t value) {
  for (int i = 0; i < width; ++i) {
    const size_t bit = offset + size_t(i);
    const uint8_t mask = uint8_t(0x80 >> (bit % 8));
    if (value >> (width - 1 - i) & 1)
      bytes[bit / 8] |= mask;
    else
      bytes[bit / 8] &= uint8_t(~mask);
  }
}

class FrameEdgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildCodeTables();
    writer_ = std::make_unique<MP3>();
  }
  void TearDown() override { ReleaseCodeTables(); }

  // Starts a stream of frames written by the writer into a temporary file.
  void StartWriting() {
    out_ = std::tmpfile();
    writer_->stream_end = 1 << 30;
    writer_->Output(out_);
  }
  void ClearRecord(uint32_t header) {
    const size_t begin = offsetof(MP3, header);
    const size_t end = offsetof(MP3, crc_computed) + sizeof(MP3::crc_computed);
    std::memset(reinterpret_cast<char*>(writer_.get()) + begin, 0, end - begin);
    writer_->header = header;
    writer_->ancillaryBits = -1;
  }
  Bytes FinishWriting() {
    writer_->ancillaryBits = -1;
    writer_->WriteFlush();
    std::fflush(out_);
    Bytes bytes = ContentsOf(out_);
    std::fclose(out_);
    return bytes;
  }

  std::unique_ptr<MP3> writer_;
  FILE* out_ = nullptr;
};

TEST_F(FrameEdgeTest, LastCount1CodeMayCrossTheEndOfItsBits) {
  StartWriting();
  ClearRecord(kMonoHeader);
  GrInfo& g = writer_->gr_info[0][0];
  g.count1table_select = 1;  // table B: four code bits, then a sign per nonzero value
  g.part2_3_length = 3;      // the quadruple (1, 0, 0, 0) needs five bits
  writer_->spectrum[0][0][0] = 1;
  writer_->WriteFrame();
  const Bytes stream = FinishWriting();
  ASSERT_EQ(stream.size(), 417u);

  MP3 reader;
  FILE* in = FileWith(stream);
  reader.Input(in);
  ASSERT_EQ(reader.ReadFrame(), 0);
  EXPECT_EQ(reader.raw_main_data, 0);
  // The bits past the end read as 1, so the sign is taken as negative and kept.
  EXPECT_EQ(reader.spectrum[0][0][0], -1);
  EXPECT_EQ(reader.spectrum[0][0][1], 0);
  EXPECT_EQ(reader.ReadFrame(), 1);
  std::fclose(in);
  EXPECT_TRUE(RoundTrip(stream).output == stream);
}

TEST_F(FrameEdgeTest, StuffingAfterTheLastValueMustBeOnes) {
  // Regions of table 0 take no bits. With 287 pairs the last two values lie beyond both the
  // pairs and the quadruples; the writer still fills up with 1-bits, so the bits must be 1.
  for (int bigValues : {288, 287}) {
    SCOPED_TRACE(bigValues);
    StartWriting();
    ClearRecord(kMonoHeader);
    GrInfo& g = writer_->gr_info[0][0];
    g.big_values = bigValues;
    g.part2_3_length = 10;
    writer_->WriteFrame();
    Bytes stream = FinishWriting();
    ASSERT_EQ(stream.size(), 417u);
    EXPECT_EQ(stream[21], 0xFF);
    EXPECT_EQ(stream[22] >> 6, 3);

    RoundTripResult result = RoundTrip(stream);
    EXPECT_EQ(result.parsed, 1);
    EXPECT_TRUE(result.output == stream);

    stream[22] ^= 0x40;  // one stuffing bit becomes 0
    result = RoundTrip(stream);
    EXPECT_EQ(result.raw, 1);
    EXPECT_TRUE(result.output == stream);
  }
}

TEST_F(FrameEdgeTest, LoneFrameUsingTheReservoirIsRawAndItsMainDataBecomesAncillary) {
  StartWriting();
  ClearRecord(kMonoHeader);
  writer_->main_data_begin = 5;
  writer_->raw_main_data = 1;
  writer_->ancillaryBits = 8 * kMonoMainBytes;
  for (int i = 0; i < kMonoMainBytes; ++i) writer_->ancillaryBuffer[i] = uint8_t(i * 7 + 3);
  writer_->WriteFrame();
  writer_->ancillaryBits = -1;
  // A lone frame waits in the queue until the flush.
  EXPECT_EQ(writer_->frames_written, 0);
  const Bytes stream = FinishWriting();
  ASSERT_EQ(stream.size(), 417u);

  MP3 reader;
  FILE* in = FileWith(stream);
  reader.Input(in);
  ASSERT_EQ(reader.ReadFrame(), 0);
  EXPECT_EQ(reader.raw_main_data, 1);
  EXPECT_EQ(reader.main_data_begin, 5);
  EXPECT_EQ(reader.reservoir_bytes, 0);
  EXPECT_EQ(reader.ancillaryBits, -1);
  EXPECT_EQ(reader.ReadFrame(), 1);
  ASSERT_EQ(reader.ancillaryBits, 8 * kMonoMainBytes);
  for (int i = 0; i < kMonoMainBytes; ++i) ASSERT_EQ(reader.ancillaryBuffer[i], stream[21 + i]);
  std::fclose(in);
}

TEST_F(FrameEdgeTest, BadSideInformationMakesTheFirstByteLiteral) {
  StartWriting();
  for (int i = 0; i < 3; ++i) {
    ClearRecord(kMonoHeader);
    writer_->WriteFrame();
  }
  const Bytes stream = FinishWriting();
  ASSERT_EQ(stream.size(), 3 * 417u);
  for (int field = 0; field < 2; ++field) {
    Bytes damaged = stream;
    // Mono MPEG-1 side information of the second frame: big_values sits 9 + 5 + 4 + 12 bits
    // in, table_select[0] after big_values, global_gain, scalefac_compress and the flag.
    if (field == 0)
      SetBits(damaged, 8 * (417 + 4) + 30, 9, 289);
    else
      SetBits(damaged, 8 * (417 + 4) + 52, 5, 4);
    FILE* in = FileWith(damaged);
    MP3 reader;
    reader.Input(in);
    ASSERT_EQ(reader.ReadFrame(), 0);
    EXPECT_EQ(reader.ReadFrame(), 0xFF - 256) << field;
    EXPECT_EQ(reader.in_reset, -1);
    std::fclose(in);
    EXPECT_TRUE(RoundTrip(damaged).output == damaged);
  }
}

TEST_F(FrameEdgeTest, FullRingSendsTheOldestFrame) {
  // MPEG-2, 8 kbit/s, 24 kHz, mono: 24-byte frames with 11 bytes of main data each.
  constexpr uint32_t kTinyHeader = 0xFFF314C0;
  StartWriting();
  for (int k = 1; k <= 600; ++k) {
    ClearRecord(kTinyHeader);
    writer_->WriteFrame();
    ASSERT_EQ(writer_->frames_written, k <= 510 ? 0 : k - 510) << k;
  }
  const Bytes stream = FinishWriting();
  ASSERT_EQ(stream.size(), 600 * 24u);
  const RoundTripResult result = RoundTrip(stream);
  EXPECT_EQ(result.frames, 600);
  EXPECT_TRUE(result.output == stream);
}

TEST_F(FrameEdgeTest, DamagedReservoirOffsetStaysInsideTheBuffer) {
  // A damaged compressed stream can decode a main_data_begin that no 9-bit field holds.
  // Such a frame must still leave the writer's own state alone and keep its size.
  for (int offset : {512, 5000, 40000, -3000}) {
    SCOPED_TRACE(offset);
    StartWriting();
    ClearRecord(kMonoHeader);
    writer_->WriteFrame();
    ClearRecord(kMonoHeader);
    writer_->main_data_begin = offset;
    GrInfo& g = writer_->gr_info[0][0];
    g.part2_3_length = 100;
    g.big_values = 10;
    g.table_select[0] = 1;
    writer_->ancillaryBits = 15000;
    for (int i = 0; i < 1875; ++i) writer_->ancillaryBuffer[i] = uint8_t(i);
    const std::vector<uint8_t> ancillary(writer_->ancillaryBuffer, writer_->ancillaryBuffer + 1875);
    const int q0 = writer_->out_bitpos;
    writer_->WriteFrame();
    EXPECT_EQ(writer_->out_bitpos, q0 - 8 * kMonoMainBytes);
    EXPECT_TRUE(std::equal(ancillary.begin(), ancillary.end(), writer_->ancillaryBuffer));
    EXPECT_EQ(FinishWriting().size(), 2 * 417u);
  }
}

TEST_F(FrameEdgeTest, OutputStopsAtTheOriginalLength) {
  StartWriting();
  writer_->out_remaining = 417 + 100;
  for (int i = 0; i < 2; ++i) {
    ClearRecord(kMonoHeader);
    writer_->WriteFrame();
  }
  EXPECT_EQ(FinishWriting().size(), 517u);
}

}  // namespace

namespace {

TEST_F(FrameEdgeTest, DamagedRecordsStayInsideTheBuffers) {
  // Values a model decodes from a damaged stream: lengths that add up but point far outside
  // the main data, region counts and big_values past their fields, stray wide scale factors.
  StartWriting();
  for (int frame = 0; frame < 3; ++frame) {
    ClearRecord(0xFFFB9050);  // 128 kbit/s joint stereo, mode extension 1: 417 bytes
    GrInfo& a = writer_->gr_info[0][0];
    GrInfo& b = writer_->gr_info[1][1];
    a.part2_3_length = -2000000, b.part2_3_length = 2000010;
    a.region0_count = -7, a.region1_count = 1000, a.big_values = -5;
    b.big_values = 100000, b.table_select[0] = 31, b.table_select[1] = 4;
    writer_->scalefac[0][0][3] = 0xFFFF;
    writer_->spectrum[1][1][0] = 8206;
    writer_->main_data_begin = -1;
    writer_->WriteFrame();
  }
  const Bytes stream = FinishWriting();
  EXPECT_EQ(stream.size(), 3u * 417u);
}

}  // namespace
