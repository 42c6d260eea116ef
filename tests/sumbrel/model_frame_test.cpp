// Every frame, gap and literal of real and damaged MP3 files must come back from the model
// exactly as the encoder saw it, and leave both models in the same state.
#include <gtest/gtest.h>

#include <random>

#include "bitstream/huffman_tables.h"
#include "data/lame_corpus.h"
#include "model_roundtrip.h"

using namespace model_test;

namespace {

class ModelFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testdata::CorpusDir();
    ASSERT_FALSE(dir_.empty()) << "could not encode the test corpus with lame";
  }
  void TearDown() override { ReleaseCodeTables(); }
  Bytes Load(const std::string& name) { return bitstream_test::ReadFile(dir_ + "/" + name + ".mp3"); }

  // Encodes, decodes and requires every step, the rebuilt file and the contexts to agree.
  // Returns the number of coded bytes.
  size_t ExpectRoundTrip(const Bytes& input, const std::string& what) {
    const Coded coded = Encode(input);
    const Decoded decoded = Decode(coded);
    for (size_t i = 0; i < decoded.steps.size(); ++i)
      if (!SameState(decoded.steps[i], coded.steps[i])) {
        ADD_FAILURE() << what << ": step " << i << " of " << coded.steps.size() << " differs ("
                      << (coded.steps[i].frame ? "frame" : "break") << ")";
        return 0;
      }
    EXPECT_EQ(decoded.steps.size(), coded.steps.size()) << what;
    EXPECT_TRUE(decoded.output == input) << what;
    EXPECT_EQ(decoded.contextHash, coded.contextHash) << what;
    return coded.stream.bytes.size();
  }

  std::string dir_;
};

TEST_F(ModelFrameTest, CorpusFilesComeBackFrameByFrameAndShrink) {
  for (const testdata::CorpusFile& file : testdata::CorpusFiles()) {
    const Bytes input = Load(file.name);
    ASSERT_GT(input.size(), 1000u) << file.name;
    const size_t coded = ExpectRoundTrip(input, file.name);
    // Literal bytes are not coded here, so only files of frames show what the model saves.
    if (file.layer3Frames && file.name != "m1_44_tags") {
      EXPECT_LT(coded, input.size()) << file.name;
    }
  }
}

TEST_F(ModelFrameTest, DamagedFilesComeBackWithTheirRawFramesAndLiterals) {
  std::mt19937 random(5);
  const int rounds = ScaledForSanitizer(12) + 3;
  for (const char* name : {"m1_44_joint_cbr", "m1_44_crc", "m2_22_crc_vbr", "m25_8_abr_ms", "m1_44_transients"}) {
    const Bytes input = Load(name);
    for (int round = 0; round < rounds; ++round) {
      Bytes damaged = input;
      switch (round % 3) {
        case 0:  // garbage inserted between or inside frames
          damaged.insert(damaged.begin() + long(random() % damaged.size()), 1 + random() % 200,
                         uint8_t(random()));
          break;
        case 1:  // flipped bits anywhere
          for (int flips = 0; flips < 4; ++flips) damaged[random() % damaged.size()] ^= uint8_t(1 << random() % 8);
          break;
        default:  // cut short
          damaged.resize(random() % damaged.size());
      }
      ExpectRoundTrip(damaged, std::string(name) + " round " + std::to_string(round));
    }
  }
}

TEST_F(ModelFrameTest, FalseHeaderBetweenTinyFramesIsReadAgainAfterItsFirstByte) {
  // 24-byte frames: a 4-byte header copy in front of a frame makes the reader take the copy,
  // run into the real frame for its side information, give up, and go back to the byte after
  // the copy's first one.
  Bytes input = Load("m2_24_tiny_frames");
  ASSERT_GT(input.size(), 2000u);
  const size_t at = 24 * 40;
  ASSERT_EQ(input[at], 0xFF);
  input.insert(input.begin() + long(at), input.begin() + long(at), input.begin() + long(at) + 4);
  const Coded coded = Encode(input);
  size_t literals = 0;
  for (const StepState& step : coded.steps) literals += step.literals.size();
  EXPECT_GT(literals, 0u);
  ExpectRoundTrip(input, "false header");
}

TEST_F(ModelFrameTest, RepackAndBudgetAgreeFrameByFrameAndTheFramesParseBack) {
  const Bytes input = Load("m1_44_joint_cbr");
  struct Options { int repack, target; };
  for (const Options options : {Options{1, 48000}, Options{0, 64000}, Options{1, 0}}) {
    SCOPED_TRACE(testing::Message() << "repack " << options.repack << " target " << options.target);
    const Coded coded = Encode(input, options.repack, options.target);
    const Decoded decoded = Decode(coded, options.repack, options.target, false);
    std::vector<const StepState*> frames;
    for (size_t i = 0; i < coded.steps.size(); ++i) {
      if (!coded.steps[i].frame) continue;
      const StepState& a = coded.steps[i];
      const StepState& b = decoded.steps[i];
      ASSERT_EQ(std::memcmp(a.spectrum, b.spectrum, sizeof a.spectrum), 0) << "frame " << i;
      ASSERT_EQ(std::memcmp(a.scalefac, b.scalefac, sizeof a.scalefac), 0) << "frame " << i;
      frames.push_back(&a);
    }
    // A budget empties the high frequencies of a good share of the frames.
    int emptied = 0;
    for (const StepState* frame : frames) emptied += frame->spectrum[0][0][400] == 0 && frame->spectrum[1][1][400] == 0;
    EXPECT_GT(emptied, 0);

    // The decoded file is a stream of frames again, holding the values the encoder kept. The
    // gap after the last frame was measured on the original layout, so only the frames before
    // it are held to that.
    auto reader = std::make_unique<MP3>();
    BuildCodeTables();
    FILE* in = bitstream_test::FileWith(decoded.output);
    reader->Input(in);
    size_t parsed = 0;
    while (parsed + 1 < frames.size() && reader->ReadFrame() == 0) {
      ASSERT_EQ(reader->raw_main_data, 0) << "frame " << parsed;
      ASSERT_EQ(std::memcmp(reader->spectrum, frames[parsed]->spectrum, sizeof reader->spectrum), 0)
          << "frame " << parsed;
      ++parsed;
    }
    std::fclose(in);
    EXPECT_EQ(parsed + 1, frames.size());
  }
}

}  // namespace
