// Every pair of every big-value table and every count1 quadruple, signs and linbits
// included, written by the writer and parsed by the reader. The expected bits are built here
// straight from the code arrays, so a shortcut that is wrong the same way in both directions
// still shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "bitstream/huffman_tables.h"
#include "bitstream_roundtrip.h"

using namespace bitstream_test;

namespace {

// MPEG-1 Layer III, no CRC, 320 kbit/s, 32 kHz, mono: 1440-byte frames, room for two
// granules of kGranuleBits each.
constexpr uint32_t kWideHeader = 0xFFFBE8C0;
constexpr int kFrameBytes = 1440;
constexpr int kPrefixBytes = 4 + 17;
constexpr int kGranuleBits = 4000;
constexpr int kPairsPerGranule = 64;  // at most 64 x 47 bits, below kGranuleBits

class BitSink {
 public:
  void Put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) bits_.push_back(value >> i & 1);
  }
  void PadWithOnes(size_t total) { bits_.resize(total, 1); }
  Bytes ToBytes(size_t byteCount) const {
    Bytes bytes(byteCount, 0);
    for (size_t i = 0; i < bits_.size(); ++i)
      if (bits_[i]) bytes[i / 8] |= uint8_t(0x80 >> (i % 8));
    return bytes;
  }
  size_t size() const { return bits_.size(); }

 private:
  std::vector<uint8_t> bits_;
};

void PutPair(BitSink& sink, int table, int x, int y) {
  const HuffmanShape& shape = huffmanShape[table];
  const int ax = std::abs(x), ay = std::abs(y);
  // Beyond the table (a damaged decoded frame) the last row or column stands in.
  const int index = std::min(ax, shape.xlen - 1) * shape.ylen + std::min(ay, shape.ylen - 1);
  sink.Put(huffCodes[table][index], huffLengths[table][index]);
  if (shape.linbits && ax >= 15) sink.Put(uint32_t(ax - 15), shape.linbits);
  if (x) sink.Put(x < 0, 1);
  if (shape.linbits && ay >= 15) sink.Put(uint32_t(ay - 15), shape.linbits);
  if (y) sink.Put(y < 0, 1);
}

// All magnitudes of the table with all four sign patterns; a magnitude of 15 in a table
// with linbits takes escape values from 0 up to the largest its linbits can hold.
std::vector<std::pair<int, int>> AllPairs(int table) {
  const HuffmanShape& shape = huffmanShape[table];
  std::vector<std::pair<int, int>> pairs;
  int escape = 0;
  auto widen = [&](int value) {
    if (!shape.linbits || value < 15) return value;
    escape = (escape * 5 + 3) & ((1 << shape.linbits) - 1);
    return 15 + (pairs.size() % 7 == 0 ? (1 << shape.linbits) - 1 : escape);
  };
  for (int x = 0; x < shape.xlen; ++x)
    for (int y = 0; y < shape.ylen; ++y)
      for (int signs = 0; signs < 4; ++signs) {
        if ((signs & 2 && !x) || (signs & 1 && !y)) continue;
        const int wx = widen(x), wy = widen(y);
        pairs.emplace_back(signs & 2 ? -wx : wx, signs & 1 ? -wy : wy);
      }
  return pairs;
}

class PairCodingTest : public ::testing::Test {
 protected:
  void SetUp() override { BuildCodeTables(); }
  void TearDown() override { ReleaseCodeTables(); }

  // Writes one frame from `values` (per granule, 576 each) and checks its main data against
  // `expected`, then reads it back and checks every value against `readBack`.
  void CheckFrame(MP3& writer, const int16_t (&values)[2][576], const Bytes& expected,
                  const char* what) {
    CheckFrame(writer, values, expected, values, what);
  }
  void CheckFrame(MP3& writer, const int16_t (&values)[2][576], const Bytes& expected,
                  const int16_t (&readBack)[2][576], const char* what) {
    FILE* out = std::tmpfile();
    writer.stream_end = 1 << 30;
    writer.Output(out);
    for (int gr = 0; gr < 2; ++gr)
      std::memcpy(writer.spectrum[gr][0], values[gr], sizeof values[gr]);
    writer.ancillaryBits = -1;
    writer.WriteFrame();
    writer.WriteFlush();
    std::fflush(out);
    const Bytes stream = ContentsOf(out);
    std::fclose(out);
    ASSERT_EQ(stream.size(), size_t(kFrameBytes)) << what;
    const Bytes mainData(stream.begin() + kPrefixBytes, stream.end());
    ASSERT_TRUE(mainData == expected) << what;

    FILE* in = FileWith(stream);
    auto reader = std::make_unique<MP3>();
    reader->Input(in);
    ASSERT_EQ(reader->ReadFrame(), 0) << what;
    ASSERT_EQ(reader->raw_main_data, 0) << what;
    for (int gr = 0; gr < 2; ++gr)
      for (int i = 0; i < 576; ++i)
        ASSERT_EQ(reader->spectrum[gr][0][i], readBack[gr][i]) << what << " gr " << gr << " i " << i;
    std::fclose(in);
  }

  static void ClearRecord(MP3& mp3) {
    const size_t begin = offsetof(MP3, header);
    const size_t end = offsetof(MP3, crc_computed) + sizeof(MP3::crc_computed);
    std::memset(reinterpret_cast<char*>(&mp3) + begin, 0, end - begin);
    mp3.header = kWideHeader;
    for (GrInfo& g : mp3.gr_info[0]) g.part2_3_length = 0;
    for (int gr = 0; gr < 2; ++gr) mp3.gr_info[gr][0].part2_3_length = kGranuleBits;
  }
};

TEST_F(PairCodingTest, EveryPairOfEveryBigValueTableMatchesTheStandardCodes) {
  auto writer = std::make_unique<MP3>();
  for (int table = 1; table < 32; ++table) {
    if (!huffCodes[table]) continue;
    const std::vector<std::pair<int, int>> pairs = AllPairs(table);
    for (size_t first = 0; first < pairs.size(); first += 2 * kPairsPerGranule) {
      ClearRecord(*writer);
      int16_t values[2][576] = {};
      BitSink sink;
      for (int gr = 0; gr < 2; ++gr) {
        const size_t start = std::min(pairs.size(), first + size_t(gr * kPairsPerGranule));
        const int count = int(std::min(pairs.size() - start, size_t(kPairsPerGranule)));
        GrInfo& g = writer->gr_info[gr][0];
        g.big_values = count;
        g.table_select[0] = g.table_select[1] = g.table_select[2] = table;
        g.region0_count = 3, g.region1_count = 2;
        for (int k = 0; k < count; ++k) {
          const size_t p = start + size_t(k);
          values[gr][2 * k] = int16_t(pairs[p].first);
          values[gr][2 * k + 1] = int16_t(pairs[p].second);
          PutPair(sink, table, pairs[p].first, pairs[p].second);
        }
        ASSERT_LE(sink.size(), size_t((gr + 1) * kGranuleBits));
        // The zero quadruples of the count1 part are 1-bits in table A, as is the stuffing.
        sink.PadWithOnes(size_t((gr + 1) * kGranuleBits));
      }
      const std::string what = "table " + std::to_string(table) + " from " + std::to_string(first);
      CheckFrame(*writer, values, sink.ToBytes(kFrameBytes - kPrefixBytes), what.c_str());
      if (HasFatalFailure()) return;
    }
  }
}

TEST_F(PairCodingTest, ValuesBeyondATableWithoutLinbitsTakeItsLastRowOrColumn) {
  auto writer = std::make_unique<MP3>();
  const int16_t wild[] = {40, -33, 16, -16, 300, 2, -1, 17, 0, -15};
  for (int table : {1, 7, 13}) {
    ClearRecord(*writer);
    int16_t values[2][576] = {}, readBack[2][576] = {};
    BitSink sink;
    GrInfo& g = writer->gr_info[0][0];
    g.big_values = 5;
    g.table_select[0] = g.table_select[1] = g.table_select[2] = table;
    const int last = huffmanShape[table].xlen - 1;
    for (int i = 0; i < 10; ++i) {
      values[0][i] = wild[i];
      readBack[0][i] = int16_t(std::clamp<int>(wild[i], -last, last));
    }
    for (int i = 0; i < 10; i += 2) PutPair(sink, table, wild[i], wild[i + 1]);
    sink.PadWithOnes(2 * kGranuleBits);
    const std::string what = "table " + std::to_string(table);
    CheckFrame(*writer, values, sink.ToBytes(kFrameBytes - kPrefixBytes), readBack, what.c_str());
  }
}

TEST_F(PairCodingTest, EveryCount1QuadrupleMatchesTheStandardCodes) {
  auto writer = std::make_unique<MP3>();
  for (int select = 0; select < 2; ++select) {
    ClearRecord(*writer);
    int16_t values[2][576] = {};
    BitSink sink;
    int i = 0;
    for (int v = -1; v <= 1; ++v)
      for (int w = -1; w <= 1; ++w)
        for (int x = -1; x <= 1; ++x)
          for (int y = -1; y <= 1; ++y) {
            const int quad[4] = {v, w, x, y};
            const int s = 8 * (v != 0) + 4 * (w != 0) + 2 * (x != 0) + (y != 0);
            sink.Put(huffCodes[32 + select][s], huffLengths[32 + select][s]);
            for (int k = 0; k < 4; ++k) {
              values[0][i + k] = int16_t(quad[k]);
              if (quad[k]) sink.Put(quad[k] < 0, 1);
            }
            i += 4;
          }
    // A quadruple with a value beyond -1..1 (only a damaged decoded frame has one) has no
    // code and writes nothing; the reader finds the zero quadruple that follows instead.
    int16_t readBack[2][576];
    std::memcpy(readBack, values, sizeof values);
    const int16_t wild[4] = {2, -5, 0, 1};
    std::memcpy(values[0] + i, wild, sizeof wild);
    writer->gr_info[0][0].count1table_select = select;
    writer->gr_info[1][0].count1table_select = 1;
    // Zero quadruples of either table and the stuffing are all 1-bits.
    sink.PadWithOnes(2 * kGranuleBits);
    CheckFrame(*writer, values, sink.ToBytes(kFrameBytes - kPrefixBytes), readBack,
               select ? "count1 table B" : "count1 table A");
  }
}

TEST_F(PairCodingTest, NegativeOutputLimitNeverStopsTheOutput) {
  auto writer = std::make_unique<MP3>();
  FILE* out = std::tmpfile();
  writer->stream_end = 1 << 30;
  writer->Output(out);
  writer->out_remaining = -3;
  for (int k = 0; k < 2; ++k) {
    ClearRecord(*writer);
    writer->ancillaryBits = -1;
    writer->WriteFrame();
  }
  writer->WriteFlush();
  std::fflush(out);
  EXPECT_EQ(ContentsOf(out).size(), size_t(2 * kFrameBytes));
  EXPECT_EQ(writer->out_remaining, -3 - 2 * kFrameBytes);
  std::fclose(out);
}

}  // namespace
