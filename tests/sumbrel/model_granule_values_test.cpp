// The spectral model: synthetic frames through CodeSpectralData in both directions, the
// byte budget, and fixed expectations that a mistake shared by both directions would pass.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "coder_memory_stream.h"
#include "model/huffman_bits.h"
#include "model/mp3_model.h"

namespace {

struct Frame {
  uint32_t header;
  GrInfo gr_info[2][2];
  uint16_t scalefac[2][2][78];
  int16_t spectrum[2][2][576];
};

// Layer III, no CRC, bit-rate index 9, first sampling rate.
uint32_t Header(bool mpeg1, int mode, int modeExtension) {
  return (mpeg1 ? 0xFFFB9000u : 0xFFF39000u) | uint32_t(mode) << 6 | uint32_t(modeExtension) << 4;
}

// Granules of every kind the model tells apart: silent, only +-1, and dense values that fall
// off with frequency, with the magnitudes at the limits of the tree and the raw field.
void FillGranule(std::mt19937& rng, int kind, bool mpeg1, GrInfo& gi, uint16_t* scalefac, int16_t* values) {
  std::memset(values, 0, 576 * sizeof *values);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int n = kind == 0 ? 0 : uniform(1, 576);
  const int m = kind == 2 ? uniform(1, n) : 0;
  for (int k = 0; k < n; ++k) {
    int magnitude = uniform(0, 2) ? 0 : 1;
    if (k < m) {
      const int scale = 1 + (m - k) * 20 / m;
      magnitude = uniform(0, 3) == 0 ? 0 : uniform(0, scale);
      if (uniform(0, 40) == 0) magnitude = uniform(9, 600);
    }
    values[k] = int16_t(uniform(0, 1) ? -magnitude : magnitude);
  }
  if (n > 0) values[n - 1] = int16_t(uniform(0, 1) ? -1 : 1);
  if (m > 0) {
    static constexpr int kLimits[] = {2, 9, 511, 512, 8206};
    values[m - 1] = int16_t(kLimits[uniform(0, 4)] * (uniform(0, 1) ? -1 : 1));
    for (int limit : {9, 511, 512, 8206}) values[uniform(0, m - 1)] = int16_t(-limit);
  }
  // big_values mostly where an encoder puts it, sometimes anywhere.
  const int P = (m + 1) / 2;
  gi.big_values = uniform(0, 5) == 0 ? uniform(0, 288) : std::min(P + uniform(0, 2), 288);
  gi.window_switching_flag = uniform(0, 2) == 0;
  gi.block_type = gi.window_switching_flag ? uniform(1, 3) : 0;
  gi.mixed_block_flag = gi.block_type == 2 ? uniform(0, 1) : 0;
  // With window switching the reader sets the region counts.
  gi.region0_count = gi.window_switching_flag ? (!mpeg1 && gi.block_type == 2 ? 5 : 7) : uniform(0, 15);
  gi.region1_count = gi.window_switching_flag ? 22 : uniform(0, 7);
  for (int r = 0; r < 3; ++r) gi.table_select[r] = uniform(0, 31);
  if (gi.window_switching_flag) gi.table_select[2] = 0;
  gi.count1table_select = uniform(0, 1);
  for (int i = 0; i < 78; ++i) scalefac[i] = uint16_t(uniform(0, 15));
}

std::vector<Frame> MakeFrames(int count, unsigned seed) {
  static constexpr int kModes[][2] = {{0, 0}, {1, 1}, {1, 2}, {1, 3}, {3, 0}, {1, 0}, {2, 0}};
  std::mt19937 rng(seed);
  std::vector<Frame> frames(static_cast<size_t>(count));
  for (int f = 0; f < count; ++f) {
    Frame& frame = frames[size_t(f)];
    std::memset(&frame, 0, sizeof frame);
    const auto* mode = kModes[f % 7];
    frame.header = Header(f % 5 != 4, mode[0], mode[1]);
    for (int gr = 0; gr < 2; ++gr)
      for (int ch = 0; ch < 2; ++ch)
        FillGranule(rng, int(rng() % 5 == 0 ? rng() % 2 : 2), f % 5 != 4, frame.gr_info[gr][ch],
                    frame.scalefac[gr][ch], frame.spectrum[gr][ch]);
  }
  return frames;
}

// The record as the header and scale-factor models leave it: the fields the spectral model
// codes are left empty in decoding.
void LoadFrame(MP3Model& model, const Frame& frame, bool decoding) {
  model.header = frame.header;
  std::memcpy(model.gr_info, frame.gr_info, sizeof frame.gr_info);
  std::memcpy(model.scalefac, frame.scalefac, sizeof frame.scalefac);
  std::memcpy(model.spectrum, frame.spectrum, sizeof frame.spectrum);
  if (!decoding) return;
  std::memset(model.spectrum, 0, sizeof model.spectrum);
  for (auto& granule : model.gr_info)
    for (GrInfo& gi : granule) {
      gi.big_values = gi.region0_count = gi.region1_count = 0;
      std::fill(std::begin(gi.table_select), std::end(gi.table_select), 0);
    }
}

// What the spectral model codes, for the granules and channels the frame has.
struct Coded {
  int16_t spectrum[2][2][576];
  int32_t big_values[2][2], region0[2][2], region1[2][2], tables[2][2][3];
  bool operator==(const Coded& other) const { return std::memcmp(this, &other, sizeof other) == 0; }
};

Coded Snapshot(const MP3Model& model) {
  Coded coded{};
  for (int gr = 0; gr < model.Granules(); ++gr)
    for (int ch = 0; ch < model.Channels(); ++ch) {
      const GrInfo& gi = model.gr_info[gr][ch];
      std::memcpy(coded.spectrum[gr][ch], model.spectrum[gr][ch], sizeof coded.spectrum[gr][ch]);
      coded.big_values[gr][ch] = gi.big_values;
      coded.region0[gr][ch] = gi.region0_count;
      coded.region1[gr][ch] = gi.region1_count;
      // With window switching only two tables are in the stream.
      for (int r = 0; r < (gi.window_switching_flag ? 2 : 3); ++r)
        coded.tables[gr][ch][r] = gi.table_select[r];
    }
  return coded;
}

// Codes the frames with one model and decodes them with another; returns what each side
// held after every frame. `budget` > 0 lets each frame's values use that many coder bytes.
struct RoundTrip {
  std::vector<Coded> encoded, decoded;
  uint64_t encoderHash = 0, decoderHash = 0;
  size_t written = 0, read = 0;
  int encoderEnd = 0, decoderEnd = 0;
};

RoundTrip CodeBothWays(const std::vector<Frame>& frames, int targetBitRate, int budget,
                       unsigned damageSeed = 0) {
  RoundTrip result;
  MemoryStream stream;
  auto encoder = std::make_unique<MP3Model>();
  encoder->StartStream(0, targetBitRate);
  encoder->subModels[3].reset();  // as if its allocation had failed at the start
  stream.AttachEncoder(encoder->coder);
  for (const Frame& frame : frames) {
    LoadFrame(*encoder, frame, false);
    encoder->byteBudget = encoder->coder.bytes + budget;
    encoder->CodeSpectralData();
    result.encoded.push_back(Snapshot(*encoder));
  }
  Flush(encoder->coder);
  result.encoderHash = encoder->ContextHash();
  result.encoderEnd = encoder->spectralEndBytes;

  if (damageSeed) {  // flip, drop or replace some coded bytes
    std::mt19937 rng(damageSeed);
    for (int i = 0; i < 8 && !stream.bytes.empty(); ++i) {
      const size_t at = rng() % stream.bytes.size();
      if (i == 7)
        stream.bytes.resize(at);
      else
        stream.bytes[at] = uint8_t(i % 2 ? rng() : stream.bytes[at] ^ (1u << rng() % 8));
    }
  }
  auto decoder = std::make_unique<MP3Model>();
  decoder->StartStream(0, targetBitRate);
  decoder->subModels[3].reset();
  stream.AttachDecoder(decoder->coder);
  for (const Frame& frame : frames) {
    LoadFrame(*decoder, frame, true);
    decoder->byteBudget = decoder->coder.bytes + budget;
    decoder->CodeSpectralData();
    result.decoded.push_back(Snapshot(*decoder));
  }
  result.decoderHash = decoder->ContextHash();
  result.decoderEnd = decoder->spectralEndBytes;
  result.written = stream.bytes.size();
  result.read = stream.reads;
  return result;
}

TEST(SpectralModel, FramesOfEveryKindRoundTrip) {
  const auto frames = MakeFrames(ScaledForSanitizer(120), 7);
  const RoundTrip run = CodeBothWays(frames, 0, 0);
  auto model = std::make_unique<MP3Model>();
  for (size_t f = 0; f < frames.size(); ++f) {
    ASSERT_TRUE(run.encoded[f] == run.decoded[f]) << "frame " << f;
    // A well-formed record is coded as it is.
    LoadFrame(*model, frames[f], false);
    ASSERT_TRUE(Snapshot(*model) == run.encoded[f]) << "frame " << f;
  }
  EXPECT_EQ(run.encoderHash, run.decoderHash);
  EXPECT_EQ(run.read, run.written);  // the decoder consumed exactly what was written
}

// With a target bit rate the values are coded frequency by frequency across the granules
// and channels until the budget is spent; everything after that is 0 on both sides.
TEST(SpectralModel, BudgetCutsTheHighestFrequenciesAlike) {
  const auto frames = MakeFrames(ScaledForSanitizer(40), 11);
  const RoundTrip run = CodeBothWays(frames, 64000, 60);
  int truncatedFrames = 0;
  for (size_t f = 0; f < frames.size(); ++f) {
    ASSERT_TRUE(run.encoded[f] == run.decoded[f]) << "frame " << f;
    const Frame& original = frames[f];
    const Coded& coded = run.encoded[f];
    const int granules = (original.header >> 19 & 3) == 3 ? 2 : 1;
    const int channels = (original.header >> 6 & 3) == 3 ? 1 : 2;
    bool cut = false, lost = false;
    for (int k = 0; k < 576; ++k)
      for (int gr = 0; gr < granules; ++gr)
        for (int ch = 0; ch < channels; ++ch) {
          const int before = original.spectrum[gr][ch][k], after = coded.spectrum[gr][ch][k];
          if (cut) {
            ASSERT_EQ(0, after) << f << " k " << k;
            lost |= before != 0;
          } else if (before != after) {
            ASSERT_EQ(0, after) << f << " k " << k;
            cut = lost = true;
          }
        }
    truncatedFrames += lost;
  }
  EXPECT_GT(truncatedFrames, int(frames.size()) / 2);
  EXPECT_EQ(run.encoderEnd, run.decoderEnd);
  EXPECT_EQ(run.encoderHash, run.decoderHash);
}

// Records no reader produces (values of any 16-bit size, fields beyond their widths, any
// header) code the same way in both directions, and a damaged stream decodes into fields
// inside their ranges without touching memory outside the tables.
TEST(SpectralModel, ForgedRecordsAndDamagedStreamsStayInBounds) {
  auto frames = MakeFrames(ScaledForSanitizer(60), 3);
  std::mt19937 rng(5);
  for (Frame& frame : frames) {
    frame.header = 0xFFE00000u | (rng() & 0x1FFFFFu);
    for (auto& granule : frame.gr_info)
      for (GrInfo& gi : granule) {
        for (int32_t* field :
             {&gi.big_values, &gi.window_switching_flag, &gi.block_type, &gi.region0_count, &gi.region1_count,
              &gi.table_select[0], &gi.table_select[1], &gi.count1table_select})
          if (rng() % 4 == 0) *field = int32_t(rng() % 2001) - 1000;
      }
    for (auto& granule : frame.spectrum)
      for (auto& values : granule)
        for (int i = 0; i < 8; ++i) values[rng() % 576] = int16_t(rng());
    for (auto& granule : frame.scalefac)
      for (auto& values : granule) values[rng() % 78] = uint16_t(rng());
  }
  const RoundTrip forged = CodeBothWays(frames, 0, 0);
  for (size_t f = 0; f < frames.size(); ++f)
    ASSERT_TRUE(forged.encoded[f] == forged.decoded[f]) << "frame " << f;
  EXPECT_EQ(forged.encoderHash, forged.decoderHash);

  for (unsigned seed = 1; seed <= 12; ++seed) {
    const RoundTrip damaged = CodeBothWays(frames, int(seed % 2) * 32000, 200, seed);
    for (const Coded& coded : damaged.decoded)
      for (int gr = 0; gr < 2; ++gr)
        for (int ch = 0; ch < 2; ++ch) {
          for (int value : coded.spectrum[gr][ch]) ASSERT_LE(std::abs(value), 8206);
          ASSERT_GE(coded.big_values[gr][ch], 0);
          ASSERT_LE(coded.big_values[gr][ch], 288);
          ASSERT_TRUE(coded.region1[gr][ch] == 22 ||
                      (coded.region1[gr][ch] >= 0 && coded.region1[gr][ch] < 8));
          ASSERT_GE(coded.region0[gr][ch], 0);
          ASSERT_LT(coded.region0[gr][ch], 16);
          for (int table : coded.tables[gr][ch]) ASSERT_TRUE(table >= 0 && table < 32);
        }
  }
}

// 300 bits, bit i = 1 when (i * step) % period < ones, through a fresh two-stage bit.
template <int K>
std::vector<int> StateAfter(int step, int period, int ones, const uint16_t* primaryRate, int limit,
                            const uint16_t* mapRate) {
  MemoryStream stream;
  Coder coder;
  stream.AttachEncoder(coder);
  AdaptiveBit primary;
  MapRecord<K> map;
  for (int i = 0; i < 300; ++i)
    CodeTwoStageBit(coder, primary, primaryRate, limit, map, mapRate, (i * step) % period < ones);
  std::vector<int> state{primary.p, primary.state};
  for (int i = 0; i < K; ++i) state.push_back(map.count(i));
  for (int i = 0; i < K; ++i) state.push_back(map.value(i));
  return state;
}

// The state of a two-stage bit after a fixed bit sequence, as a separate implementation of
// its definition computes it: initial nodes, interpolation, the node update that uses the
// old node[j] for both nodes, the map count and the primary update.
TEST(SpectralModel, TwoStageBitFollowsItsDefinition) {
  // p, state, then the counts and the node values.
  // clang-format off
  EXPECT_EQ((std::vector<int>{10520, 99,
                              50, 349, 51, 50, 50, 50,
                              8192, 12619, 18760, 27439, 34406, 40960}),
            StateAfter<6>(7, 11, 8, rate20_100, 4964, rate120_600));
  EXPECT_EQ((std::vector<int>{23478, 301,
                              50, 50, 51, 50, 53, 58, 338, 50, 50, 50,
                              8192, 11832, 16012, 19653, 23126, 28103, 32189, 34494, 37319, 40960}),
            StateAfter<10>(5, 13, 3, rate400_2400, 3276, rate200_1050));
  // clang-format on
  // The map sizes' starting nodes, each i / (K - 1) of the way up.
  const MapRecord<7> map7;
  const MapRecord<8> map8;
  EXPECT_EQ((std::vector<uint16_t>{8192, 13653, 19114, 24576, 30037, 35498, 40960}),
            std::vector<uint16_t>({map7.value(0), map7.value(1), map7.value(2), map7.value(3), map7.value(4),
                                   map7.value(5), map7.value(6)}));
  EXPECT_EQ(12873, map8.value(1));
  EXPECT_EQ(40960, map8.value(7));
}

// The table a region is coded against comes from the candidates for its largest magnitude.
TEST(SpectralModel, BestTableAmongTheCandidatesOfTheLargestMagnitude) {
  BuildCodeTables();
  int16_t values[8] = {};
  EXPECT_EQ(0, BestTable(values, 0, 8));  // nothing to code
  values[3] = -1;
  EXPECT_EQ(1, BestTable(values, 0, 8));
  // Largest 16 (D = 16) weighs table 16 against 24; largest 17 (D = 17) table 17 against 24;
  // 8206 (D = 28) tables 23 and 31.
  const struct { int largest, first, second; } cases[] = {{16, 16, 24}, {17, 17, 24}, {8206, 23, 31}};
  for (const auto& c : cases)
    for (int filler : {0, 15}) {
      std::fill(values, values + 8, int16_t(filler));
      values[5] = int16_t(c.largest);
      const int first = RegionBits(c.first, values, 0, 8), second = RegionBits(c.second, values, 0, 8);
      EXPECT_EQ(second < first ? c.second : c.first, BestTable(values, 0, 8)) << c.largest << " " << filler;
    }
}

}  // namespace
