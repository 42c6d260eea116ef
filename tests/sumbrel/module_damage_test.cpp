// Damaged compressed files: restoring them may give wrong bytes, but never a crash, a hang, an
// output beyond what the header and the file allow, or a file left behind by a failed job.
#include <algorithm>
#include <random>

#include "coder_memory_stream.h"
#include "data/lame_corpus.h"
#include "bitstream/huffman_tables.h"
#include "module/file_coder.h"
#include "module_helpers.h"

using namespace module_test;

namespace {

constexpr uint64_t kLargestFrame = 1441;  // 320 kbit/s at 32 kHz, padded

Bytes Damage(const Bytes& good, std::mt19937& random) {
  Bytes bad = good;
  auto at = [&](size_t from) { return from + random() % (bad.size() - from); };
  switch (random() % 5) {
    case 0:  // a few flipped bits in the coded stream
      for (int n = 1 + random() % 8; n > 0; --n) bad[at(16)] ^= uint8_t(1 << (random() % 8));
      break;
    case 1:  // cut short, possibly inside the header
      bad.resize(at(1));
      break;
    case 2:  // the coded stream replaced by noise
      for (size_t i = 16; i < bad.size(); ++i) bad[i] = uint8_t(random());
      break;
    case 3:  // a wrong MP3 length or frame count, and flipped options
      bad[4 + random() % 12] ^= uint8_t(1 + random() % 255);
      break;
    default:  // a run of bytes overwritten
      for (size_t i = at(16), n = 1 + random() % 64; i < bad.size() && n > 0; ++i, --n) bad[i] = uint8_t(random());
      break;
  }
  return bad;
}

TEST(ModuleDamage, DamagedFilesRestoreWithoutHarm) {
  const std::string corpus = testdata::CorpusDir();
  ASSERT_FALSE(corpus.empty()) << "could not encode the test corpus with lame";
  Folder folder;
  auto module = MakeModule();
  WriteAll(folder / "text.mp3", TextBytes(3000));
  std::vector<Bytes> good;
  for (const std::string& source : {corpus + "/m25_8.mp3", corpus + "/m1_44_tags.mp3", folder / "text.mp3"}) {
    ASSERT_EQ(module->ProcessFile(source.c_str(), (folder / "good.sbk").c_str(), 0), 0) << source;
    good.push_back(ReadAll(folder / "good.sbk"));
    ASSERT_EQ(WordAt(good.back(), 0), MODEL_MAGIC) << source;
  }
  std::remove((folder / "good.sbk").c_str());

  std::mt19937 random(2024);
  // Every round builds a whole model, so a few hundred are what a test run can afford.
  const int rounds = std::max(ScaledForSanitizer(300), 120);
  int restored = 0;
  for (int round = 0; round < rounds; ++round) {
    const Bytes bad = Damage(good[round % good.size()], random);
    WriteAll(folder / "bad.sbk", bad);
    const int result = module->ProcessFile((folder / "bad.sbk").c_str(), (folder / "out.mp3").c_str(), 1);
    ASSERT_TRUE(result == 0 || result == 1);
    if (result == 1) {
      ASSERT_FALSE(Exists(folder / "out.mp3")) << round;
      continue;
    }
    ++restored;
    // Frames and literal bytes stop at the recorded length; only trailing bytes come on top.
    // Frames laid out afresh (option bit 0) lift that limit: then the recorded frame count
    // bounds the frames, and the end of the file the literal bytes, each of which costs at
    // least 1/16 bit (the literal tree's probabilities stay 163/32768 from certainty).
    uint64_t limit = uint64_t(int32_t(WordAt(bad, 4))) + bad.size();
    if (WordAt(bad, 12) & 1) limit += uint64_t(WordAt(bad, 8)) * kLargestFrame + 16 * 8 * bad.size();
    ASSERT_LE(ReadAll(folder / "out.mp3").size(), limit) << round;
    std::remove((folder / "out.mp3").c_str());
  }
  EXPECT_GT(restored, 0);
  EXPECT_EQ(folder.List(), (Names{"bad.sbk", "text.mp3"}));
}

// A file cut short is the commonest damage. The decoder reads exactly the bytes the encoder
// wrote, so every strict prefix of a model-coded file runs out and must fail, including the
// cuts of the last few bytes, which rarely change a decoded value. One test per corpus file
// (0 is a text without frames), so that a parallel test run spreads them.
class CutFiles : public ::testing::TestWithParam<size_t> {};

TEST_P(CutFiles, EveryCutFailsAndTheWholeFileRestores) {
  const std::string corpus = testdata::CorpusDir();
  ASSERT_FALSE(corpus.empty()) << "could not encode the test corpus with lame";
  Folder folder;
  auto module = MakeModule();
  std::string source = folder / "text.mp3";
  if (GetParam() == 0)
    WriteAll(source, TextBytes(3000));
  else
    source = corpus + "/" + testdata::CorpusFiles()[GetParam() - 1].name + ".mp3";
  const std::string packed = folder / "whole.sbk", out = folder / "out.mp3", cut = folder / "cut.sbk";
  ASSERT_EQ(module->ProcessFile(source.c_str(), packed.c_str(), 0), 0);
  const Bytes whole = ReadAll(packed);
  if (WordAt(whole, 0) != MODEL_MAGIC) GTEST_SKIP() << "stored: the form cannot tell a cut";
  ASSERT_EQ(module->ProcessFile(packed.c_str(), out.c_str(), 1), 0);
  ASSERT_EQ(ReadAll(out), ReadAll(source));
  std::remove(out.c_str());

  // Every restore decodes the whole file, and the sanitizers slow that down many times.
  const size_t step = ScaledForSanitizer(10) == 10 ? 1 : 4;
  std::vector<size_t> cuts;
  for (size_t c = 1 + GetParam() % step; c <= 64 && c < whole.size(); c += step) cuts.push_back(c);
  std::mt19937 random(17 + GetParam());
  for (int i = 0; i < 3; ++i) cuts.push_back(1 + random() % (whole.size() - 1));
  for (const size_t c : cuts) {
    WriteAll(cut, Bytes(whole.begin(), whole.end() - c));
    EXPECT_EQ(module->ProcessFile(cut.c_str(), out.c_str(), 1), 1) << "cut by " << c;
    ASSERT_FALSE(Exists(out)) << "cut by " << c;
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CutFiles,
                         ::testing::Range(size_t(0), testdata::CorpusFiles().size() + 1));

// Write errors during the steps cannot be seen one by one; the finish must notice them.
TEST(ModuleDamage, LostWritesFailTheFinish) {
  FILE* full = std::fopen("/dev/full", "wb");
  if (!full) GTEST_SKIP() << "no /dev/full";
  const Bytes text = TextBytes(20000);
  FILE* in = std::tmpfile();
  FILE* packed = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), in);
  std::rewind(in);
  FileCoder encoder, decoder;
  ASSERT_EQ(encoder.StartEncode(in, packed, 0, 0), 0);
  while (encoder.EncodeStep() == 1) {
  }
  ASSERT_EQ(encoder.FinishEncode(), 0);
  std::rewind(packed);
  ASSERT_EQ(decoder.StartDecode(packed, full), 0);
  while (decoder.DecodeStep() == 1) {
  }
  EXPECT_FALSE(decoder.Damaged());
  EXPECT_NE(decoder.FinishDecode(), 0);
  for (FILE* f : {full, in, packed}) std::fclose(f);
  ReleaseCodeTables();
}

}  // namespace
