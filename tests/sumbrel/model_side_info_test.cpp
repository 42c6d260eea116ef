// The header, scale-factor and part2_3_length steps of the model: the expected length against
// every granule the reader parses, both directions over the corpus, and fixed values that a
// mistake shared by both directions would not show in a round trip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "coder_memory_stream.h"
#include "data/lame_corpus.h"
#include "model/mp3_model.h"

namespace {

constexpr uint32_t kMpeg1Mono = 0xFFFB90C0;    // 128 kbit/s, 44.1 kHz, no CRC
constexpr uint32_t kMpeg1Stereo = 0xFFFB9000;
constexpr uint32_t kMpeg2Mono = 0xFFF380C0;    // 64 kbit/s, 22.05 kHz

// A model coding into or decoding from memory. Its MP3 part reads (encoding) or writes
// `file`; an empty one only sets up the layout tables.
std::unique_ptr<MP3Model> Model(MemoryStream& stream, FILE* file, bool decoding = false) {
  auto model = std::make_unique<MP3Model>();
  decoding ? model->Output(file) : model->Input(file);
  model->StartStream(0, 0);
  decoding ? stream.AttachDecoder(model->coder) : stream.AttachEncoder(model->coder);
  return model;
}

void ClearRecord(MP3Model& m) {  // as the decoding frame driver does
  m.header = 0;
  std::memset(&m.main_data_begin, 0, 372);
  std::memset(m.scalefac, 0, sizeof m.scalefac);
  std::memset(m.spectrum, 0, sizeof m.spectrum);
}

// The contexts of these steps, whole (the structs have no padding).
void ExpectSameContexts(const MP3Model& a, const MP3Model& b, const std::string& what) {
  EXPECT_EQ(0, std::memcmp(&a.headerModel, &b.headerModel, sizeof a.headerModel)) << what;
  EXPECT_EQ(0, std::memcmp(&a.scaleFactorModel, &b.scaleFactorModel, sizeof a.scaleFactorModel)) << what;
  EXPECT_EQ(0, std::memcmp(&a.lengthModel, &b.lengthModel, sizeof a.lengthModel)) << what;
}

struct Record {  // the encoder's frame record, for the decoder to be compared with
  uint32_t header;
  int32_t private_bits, scfsi[2][4], raw_main_data, part23_total;
  GrInfo gr_info[2][2];
  uint16_t scalefac[2][2][78];
  int16_t spectrum[2][2][576];
};

TEST(SideInfoModel, ExpectedLengthMatchesEveryParsedGranuleAndBothDirectionsAgree) {
  const std::string dir = testdata::CorpusDir();
  ASSERT_FALSE(dir.empty()) << "could not encode the test corpus with lame";
  long mpeg1 = 0, lsf = 0, shortBlocks = 0, count1 = 0;
  for (const testdata::CorpusFile& file : testdata::CorpusFiles()) {
    FILE* in = std::fopen((dir + "/" + file.name + ".mp3").c_str(), "rb");
    ASSERT_NE(in, nullptr);
    MemoryStream stream;
    auto enc = Model(stream, in);
    std::vector<Record> records;
    for (int result; (result = enc->ReadFrame()) != 1;) {
      if (result < 0) continue;
      enc->CodeHeaderModel();
      enc->IsMpeg1() ? enc->CodeScaleFactorsMpeg1() : enc->CodeScaleFactorsLsf();
      for (int gr = 0; gr < enc->Granules() && !enc->raw_main_data; ++gr)
        for (int ch = 0; ch < enc->Channels(); ++ch) {
          const GrInfo& g = enc->gr_info[gr][ch];
          ASSERT_EQ(enc->ExpectedPart23Length(gr, ch), g.part2_3_length)
              << file.name << " frame " << records.size() << " granule " << gr << " channel " << ch;
          (enc->IsMpeg1() ? mpeg1 : lsf) += 1;
          shortBlocks += g.block_type == 2;
          for (int i = 2 * g.big_values; i < 576; ++i) count1 += enc->spectrum[gr][ch][i] != 0;
        }
      enc->CodePart23Length();
      Record r;
      r.header = enc->header, r.private_bits = enc->private_bits, r.raw_main_data = enc->raw_main_data;
      r.part23_total = enc->part23_total;
      std::memcpy(r.scfsi, enc->scfsi, sizeof r.scfsi);
      std::memcpy(r.gr_info, enc->gr_info, sizeof r.gr_info);
      std::memcpy(r.scalefac, enc->scalefac, sizeof r.scalefac);
      std::memcpy(r.spectrum, enc->spectrum, sizeof r.spectrum);
      records.push_back(r);
    }
    std::fclose(in);
    Flush(enc->coder);
    if (!file.layer3Frames) continue;

    FILE* out = std::tmpfile();
    auto dec = Model(stream, out, true);
    for (const Record& r : records) {
      MP3Model& d = *dec;
      ClearRecord(d);
      d.CodeHeaderModel();
      d.IsMpeg1() ? d.CodeScaleFactorsMpeg1() : d.CodeScaleFactorsLsf();
      ASSERT_EQ(d.header, r.header) << file.name;
      for (int gr = 0; gr < d.Granules(); ++gr)  // what the spectral model would decode
        for (int ch = 0; ch < d.Channels(); ++ch) {
          GrInfo& g = d.gr_info[gr][ch];
          const GrInfo& e = r.gr_info[gr][ch];
          g.big_values = e.big_values, g.region0_count = e.region0_count, g.region1_count = e.region1_count;
          std::memcpy(g.table_select, e.table_select, sizeof g.table_select);
          std::memcpy(d.spectrum[gr][ch], r.spectrum[gr][ch], sizeof r.spectrum[gr][ch]);
        }
      d.CodePart23Length();
      ASSERT_EQ(d.private_bits, r.private_bits);
      ASSERT_EQ(d.raw_main_data, r.raw_main_data);
      ASSERT_EQ(d.part23_total, r.part23_total);
      ASSERT_EQ(0, std::memcmp(d.scfsi, r.scfsi, sizeof d.scfsi));
      for (int gr = 0; gr < d.Granules(); ++gr)
        for (int ch = 0; ch < d.Channels(); ++ch) {
          GrInfo expected = r.gr_info[gr][ch];
          if (!d.IsMpeg1()) expected.preflag = 0;  // the granule writer derives it
          if (!r.raw_main_data) expected.saved_part2_3_length = 0;
          ASSERT_EQ(0, std::memcmp(&d.gr_info[gr][ch], &expected, sizeof expected)) << file.name;
          // Scale factors that the reader kept from an earlier frame are compared only where
          // they were coded, which the corpus round trip of the whole model covers.
          if (!r.raw_main_data && (!d.IsMpeg1() || expected.part2_3_length > 0)) {
            ASSERT_EQ(0, std::memcmp(d.scalefac[gr][ch], r.scalefac[gr][ch], 156)) << file.name;
          }
        }
    }
    ExpectSameContexts(*dec, *enc, file.name);
    EXPECT_EQ(stream.position, stream.bytes.size()) << file.name;
    std::fclose(out);
  }
  EXPECT_GT(mpeg1, 1000);
  EXPECT_GT(lsf, 1000);
  EXPECT_GT(shortBlocks, 10);
  EXPECT_GT(count1, 1000);
}

TEST(SideInfoModel, Mpeg1Part2LengthOfShortMixedAndSharedGranules) {
  MemoryStream sink;
  FILE* empty = std::tmpfile();
  auto m = Model(sink, empty);
  m->header = kMpeg1Mono;
  GrInfo& g0 = m->gr_info[0][0];
  GrInfo& g1 = m->gr_info[1][0];
  g0.block_type = g1.block_type = 2;
  g0.scalefac_compress = 15;  // slen 4 / 3
  g1.scalefac_compress = 8;   // slen 2 / 1
  g1.mixed_block_flag = 1;
  m->CodeScaleFactorsMpeg1();
  EXPECT_EQ(g0.part2_length, 126);
  EXPECT_EQ(g1.part2_length, 52);

  // Long blocks, granule 1 sharing all four groups of granule 0.
  g0 = g1 = GrInfo{};
  g0.scalefac_compress = g1.scalefac_compress = 15;
  for (int band = 0; band < 4; ++band) m->scfsi[0][band] = 1;
  for (int b = 0; b < 21; ++b) m->scalefac[0][0][b] = uint16_t(b % 8), m->scalefac[1][0][b] = 7;
  m->CodeScaleFactorsMpeg1();
  EXPECT_EQ(g0.part2_length, 11 * 4 + 10 * 3);
  EXPECT_EQ(g1.part2_length, 0);
  EXPECT_EQ(0, std::memcmp(m->scalefac[1][0], m->scalefac[0][0], 21 * 2));
  std::fclose(empty);
}

TEST(SideInfoModel, BlockTypePredictionOfStartShortShortStop) {
  MemoryStream sink;
  FILE* empty = std::tmpfile();
  auto m = Model(sink, empty);
  const HeaderContexts& h = m->headerModel;
  // Two stereo frames whose channels both go start, short, short, stop: channel 1 takes the
  // prediction channel 0 left.
  const int frames[2][2] = {{1, 2}, {2, 3}};
  for (const auto& types : frames) {
    std::memset(m->gr_info, 0, sizeof m->gr_info);
    m->header = kMpeg1Stereo;
    for (int gr = 0; gr < 2; ++gr)
      for (int ch = 0; ch < 2; ++ch)
        m->gr_info[gr][ch].window_switching_flag = 1, m->gr_info[gr][ch].block_type = types[gr];
    m->CodeHeaderModel();
  }
  // Right six times (0 bits at run positions 0-5), then wrong for both stops.
  for (int i = 1; i < 6; ++i) EXPECT_GT(h.blockTypeRun.bits[i].p, 16384) << i;
  EXPECT_LT(h.blockTypeRun.bits[6].p, 16384);
  EXPECT_EQ(h.blockTypeRun.run, 1);
  EXPECT_EQ(h.blockTypeRun.last, 1);
  EXPECT_EQ(h.blockTypeNodes[1].state, 3);  // block_type coded for the two stop blocks only
  EXPECT_EQ(h.blockTypeCounter, 0);
  std::fclose(empty);
}

TEST(SideInfoModel, LsfPartitionWithSlenZeroCodesNothingButTakesItsPositions) {
  MemoryStream sink;
  FILE* empty = std::tmpfile();
  auto m = Model(sink, empty);
  m->header = kMpeg2Mono;
  m->gr_info[0][0].scalefac_compress = 16;  // slen 0, 1, 0, 0; partitions of 6, 5, 5, 5
  for (int i = 0; i < 21; ++i) m->scalefac[0][0][i] = 1;
  m->CodeScaleFactorsLsf();
  EXPECT_EQ(m->gr_info[0][0].part2_length, 5);
  for (int position = 1; position <= 21; ++position) {
    const AdaptiveBit* nodes = m->scaleFactorModel.lsf[position];
    const bool used = std::any_of(nodes, nodes + 128, [](AdaptiveBit b) { return b.state != 1; });
    EXPECT_EQ(used, position >= 7 && position <= 11) << position;
  }
  std::fclose(empty);
}

TEST(SideInfoModel, RawFrameAndLengthDifferencesComeBack) {
  MemoryStream stream;
  FILE* empty = std::tmpfile();
  auto enc = Model(stream, empty);
  const int saved[4] = {0xABC, 0x123, 0xFFF, 0};
  const int lengths[4] = {10 + 5, 10 - 3, 10 + 1, 4095};  // expected 10 each
  auto frame = [&](MP3Model& m, int number) {
    m.header = kMpeg1Stereo;
    for (int i = 0; i < 4; ++i) {
      GrInfo& g = m.gr_info[i / 2][i % 2];
      g.part2_length = 10;
      if (m.coder.decoding) continue;
      if (number == 0)
        g.saved_part2_3_length = saved[i];
      else
        g.part2_3_length = lengths[i];
    }
    if (!m.coder.decoding) m.raw_main_data = number == 0, m.part23_total = 777;
  };
  for (int number = 0; number < 2; ++number) {
    frame(*enc, number);
    enc->CodePart23Length();
    EXPECT_EQ(enc->part23_total, number == 0 ? 0 : 15 + 7 + 11 + 4095);
  }
  // A difference of +1 codes magnitude 0: twelve 0 bits, the last at node 2048.
  EXPECT_GT(enc->lengthModel.magnitude[1][0][0][2048].p, 16384);
  Flush(enc->coder);

  FILE* out = std::tmpfile();
  auto dec = Model(stream, out, true);
  for (int number = 0; number < 2; ++number) {
    ClearRecord(*dec);
    frame(*dec, number);
    dec->CodePart23Length();
    EXPECT_EQ(dec->raw_main_data, number == 0);
    for (int i = 0; i < 4; ++i) {
      const GrInfo& g = dec->gr_info[i / 2][i % 2];
      EXPECT_EQ(g.saved_part2_3_length, number == 0 ? saved[i] : 0) << i;
      EXPECT_EQ(g.part2_3_length, number == 0 ? 0 : lengths[i]) << i;
    }
  }
  ExpectSameContexts(*dec, *enc, "lengths");
  std::fclose(empty);
  std::fclose(out);
}

}  // namespace
