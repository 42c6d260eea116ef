// Read-and-rewrite must give back every byte of real and damaged MP3 files.
#include <gtest/gtest.h>

#include <random>

#include "bitstream/huffman_tables.h"
#include "bitstream_roundtrip.h"
#include "data/lame_corpus.h"

using namespace bitstream_test;

namespace {

// Damage rounds per file; BITSTREAM_DAMAGE_ROUNDS overrides it for longer local fuzzing.
int DamageRounds() {
  if (const char* rounds = std::getenv("BITSTREAM_DAMAGE_ROUNDS")) return std::atoi(rounds);
#if defined(__SANITIZE_ADDRESS__)
  return 30;
#else
  return 150;
#endif
}
const int kDamageRounds = DamageRounds();

class CorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testdata::CorpusDir();
    ASSERT_FALSE(dir_.empty()) << "could not encode the test corpus with lame";
    BuildCodeTables();
  }
  void TearDown() override { ReleaseCodeTables(); }
  Bytes Load(const std::string& name) {
    Bytes bytes = ReadFile(dir_ + "/" + name + ".mp3");
    EXPECT_GT(bytes.size(), 1000u) << name;
    return bytes;
  }
  std::string dir_;
};

// Offsets of bytes that look like the start of a Layer III header.
std::vector<size_t> HeaderOffsets(const Bytes& bytes) {
  std::vector<size_t> offsets;
  for (size_t i = 0; i + 4 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && (bytes[i + 1] & 0xE6) == 0xE2) offsets.push_back(i);
  return offsets;
}

void ExpectIdentical(const Bytes& input, const std::string& what) {
  const RoundTripResult result = RoundTrip(input);
  ASSERT_EQ(result.output.size(), input.size()) << what;
  EXPECT_TRUE(result.output == input) << what;
}

TEST_F(CorpusTest, CleanFilesAreRebuiltExactlyAndAlmostAllFramesParse) {
  for (const testdata::CorpusFile& file : testdata::CorpusFiles()) {
    const Bytes input = Load(file.name);
    const RoundTripResult result = RoundTrip(input);
    EXPECT_TRUE(result.output == input) << file.name;
    if (file.layer3Frames) {
      ASSERT_GT(result.frames, 20) << file.name;
      EXPECT_GE(result.parsed * 100, result.frames * 99) << file.name << ": " << result.raw
                                                         << " raw of " << result.frames;
    } else {
      EXPECT_EQ(result.frames, 0) << file.name;
      EXPECT_EQ(result.literal, long(input.size())) << file.name;
    }
  }
}

TEST_F(CorpusTest, TagsAndTinyFramesTakeTheExpectedPaths) {
  // ID3v2 at the front and ID3v1 at the back are literal bytes around the frames.
  const RoundTripResult tagged = RoundTrip(Load("m1_44_tags"));
  EXPECT_GE(tagged.literal, 128 + 10);
  // 8 kbit/s frames at 24 kHz are 24 bytes: far more than 511 of them queue up before
  // 8 KiB of main data wait, so the full ring decides when frames leave.
  const RoundTripResult tiny = RoundTrip(Load("m2_24_tiny_frames"));
  EXPECT_GT(tiny.frames, 600);
  // Clicks make the encoder switch to short blocks, which must parse as well.
  FILE* in = FileWith(Load("m1_44_transients"));
  auto reader = std::make_unique<MP3>();
  reader->Input(in);
  int shortBlocks = 0, mixedOrLong = 0;
  while (reader->ReadFrame() == 0)
    for (const auto& granule : reader->gr_info)
      for (const GrInfo& g : granule) ++(g.block_type == 2 ? shortBlocks : mixedOrLong);
  std::fclose(in);
  EXPECT_GT(shortBlocks, 0);
  EXPECT_GT(mixedOrLong, 0);
}

TEST_F(CorpusTest, TruncatedFilesComeBackExactly) {
  std::mt19937 random(7 + kDamageRounds);
  for (const char* name : {"m1_44_joint_cbr", "m2_22_crc_vbr", "m25_8", "m1_44_tags"}) {
    const Bytes input = Load(name);
    for (int round = 0; round < kDamageRounds; ++round) {
      const size_t cut = random() % input.size();
      ExpectIdentical(Bytes(input.begin(), input.begin() + long(cut)),
                      std::string(name) + " cut at " + std::to_string(cut));
    }
    // Cuts right after a header and inside the side information.
    const std::vector<size_t> headers = HeaderOffsets(input);
    for (int round = 0; round < kDamageRounds / 3 && !headers.empty(); ++round) {
      const size_t at = headers[random() % headers.size()] + 1 + random() % 30;
      if (at < input.size())
        ExpectIdentical(Bytes(input.begin(), input.begin() + long(at)), "cut in side info");
    }
  }
}

TEST_F(CorpusTest, GarbageAndBitFlipsComeBackExactly) {
  std::mt19937 random(11 + kDamageRounds);
  for (const char* name : {"m1_44_joint_cbr", "m1_44_crc", "m2_16_vbr", "m25_12_stereo"}) {
    const Bytes input = Load(name);
    const std::vector<size_t> headers = HeaderOffsets(input);
    ASSERT_FALSE(headers.empty());
    for (int round = 0; round < kDamageRounds; ++round) {
      Bytes garbage = input;
      const size_t at = random() % input.size();
      Bytes noise(1 + random() % 300);
      for (uint8_t& b : noise) b = uint8_t(random());
      garbage.insert(garbage.begin() + long(at), noise.begin(), noise.end());
      ExpectIdentical(garbage, std::string(name) + " garbage at " + std::to_string(at));

      // One flip each in a header, the side information and the main data.
      Bytes flipped = input;
      const size_t frame = headers[random() % headers.size()];
      for (size_t offset : {size_t(random() % 4), 4 + size_t(random() % 32),
                            40 + size_t(random() % 200)})
        if (frame + offset < flipped.size()) flipped[frame + offset] ^= uint8_t(1 << (random() % 8));
      ExpectIdentical(flipped, std::string(name) + " flips near " + std::to_string(frame));
    }
  }
}

TEST_F(CorpusTest, CrcMismatchTurnsTheFrameIntoLiteralBytes) {
  const Bytes input = Load("m1_44_crc");
  const RoundTripResult clean = RoundTrip(input);
  ASSERT_EQ(clean.literal, 0);
  const std::vector<size_t> headers = HeaderOffsets(input);
  ASSERT_GT(headers.size(), 10u);
  Bytes wrong = input;
  wrong[headers[5] + 5] ^= 0x10;  // the low byte of the CRC word
  const RoundTripResult result = RoundTrip(wrong);
  EXPECT_TRUE(result.output == wrong);
  EXPECT_GT(result.literal, 0);
  EXPECT_EQ(result.frames, clean.frames - 1);
}

TEST_F(CorpusTest, OtherLayersAndEmptyInputPassAsLiteralBytes) {
  Bytes input = Load("m1_44_joint_cbr");
  const long frames = RoundTrip(input).frames;
  const std::vector<size_t> headers = HeaderOffsets(input);
  int changed = 0;
  for (size_t i = 2; i < headers.size(); i += 7, ++changed)
    input[headers[i] + 1] ^= (changed & 1) ? 0x06 : 0x04;  // layer bits to 11 (I) or 10 (II)
  const RoundTripResult result = RoundTrip(input);
  EXPECT_TRUE(result.output == input);
  EXPECT_LT(result.frames, frames);
  EXPECT_GT(result.literal, 0);

  const RoundTripResult empty = RoundTrip(Bytes());
  EXPECT_TRUE(empty.output.empty());
  EXPECT_EQ(empty.frames + empty.literal, 0);
}

TEST_F(CorpusTest, DiagnosticProgramReportsAndCopies) {
  const std::string file = dir_ + "/m1_44_tags.mp3";
  const std::string copy = dir_ + "/copy-" + std::to_string(getpid()) + ".mp3";
  const std::string command = std::string(TEST_BIN_DIR) + "/mp3frames '" + file + "' '" + copy + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[512] = {};
  ASSERT_NE(std::fgets(line, sizeof line, pipe), nullptr);
  const int status = pclose(pipe);
  EXPECT_EQ(status, 0);
  const RoundTripResult expected = RoundTrip(ReadFile(file));
  const std::string wanted = file + ": frames=" + std::to_string(expected.frames) +
                             " parsed=" + std::to_string(expected.parsed) +
                             " raw=" + std::to_string(expected.raw) +
                             " literal=" + std::to_string(expected.literal) +
                             " bytes=" + std::to_string(ReadFile(file).size()) + " identical=yes\n";
  EXPECT_EQ(std::string(line), wanted);
  EXPECT_TRUE(ReadFile(copy) == ReadFile(file));
  std::remove(copy.c_str());
  const std::string missing = std::string(TEST_BIN_DIR) + "/mp3frames /nonexistent.mp3 2>/dev/null";
  EXPECT_NE(std::system(missing.c_str()), 0);
}

TEST_F(CorpusTest, DiagnosticProgramRefusesToOverwriteItsInput) {
  const Bytes original = ReadFile(dir_ + "/m25_8.mp3");
  const std::string file = dir_ + "/self-" + std::to_string(getpid()) + ".mp3";
  FILE* f = std::fopen(file.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(original.data(), 1, original.size(), f);
  std::fclose(f);
  const std::string program = std::string(TEST_BIN_DIR) + "/mp3frames '";
  // The same file under its own name and through a second name.
  for (const std::string& out : {file, dir_ + "/./" + file.substr(dir_.size() + 1)}) {
    const std::string command = program + file + "' '" + out + "' >/dev/null 2>&1";
    EXPECT_NE(std::system(command.c_str()), 0) << out;
    EXPECT_TRUE(ReadFile(file) == original) << out;
  }
  std::remove(file.c_str());
}

}  // namespace
