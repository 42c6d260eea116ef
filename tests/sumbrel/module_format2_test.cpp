// Format 2 as a host drives it: what it writes restores byte for byte through either kind of
// module and records the MP3 file's length and CRC-32C, and any cut or flipped bit fails the
// restore and the check alike, leaving nothing. The coded bytes are the model's business and
// change with it, so only these properties are held.
#include <random>
#include <utility>

#include "coder_memory_stream.h"
#include "crc32.h"
#include "data/lame_corpus.h"
#include "module_helpers.h"

using namespace module_test;

namespace {

ModulePtr ModuleOfFormat(int format, ProgressListener* listener = nullptr) {
  return ModulePtr(GetModuleOfFormat(reinterpret_cast<intptr_t>(listener), format));
}

uint64_t WideAt(const Bytes& b, size_t at) { return WordAt(b, at) | uint64_t(WordAt(b, at + 4)) << 32; }

TEST(ModuleFormat2, EveryCorpusFileRoundTripsThroughBothKindsOfModule) {
  const std::string corpus = testdata::CorpusDir();
  ASSERT_FALSE(corpus.empty()) << "could not encode the test corpus with lame";
  EXPECT_EQ(GetModuleOfFormat(0, 0), nullptr);
  EXPECT_EQ(GetModuleOfFormat(0, 3), nullptr);
  Folder folder;
  RecordingListener listener;
  auto two = ModuleOfFormat(2, &listener), one = MakeModule(), oneToo = ModuleOfFormat(1);
  ASSERT_TRUE(two && one && oneToo);
  // Noise does not compress, so it takes the stored form.
  WriteAll(folder / "noise.mp3", RandomBytes(3000, 5));
  std::vector<std::pair<std::string, bool>> sources = {{folder / "noise.mp3", false}};
  for (const auto& file : testdata::CorpusFiles()) sources.push_back({corpus + "/" + file.name + ".mp3", file.layer3Frames});
  const std::string packed = folder / "x.sbk", back = folder / "back.mp3";
  int stored = 0;
  for (const auto& [mp3, frames] : sources) {
    const Bytes original = ReadAll(mp3);
    ASSERT_EQ(two->ProcessFile(mp3.c_str(), packed.c_str(), 0), 0) << mp3;
    const Bytes coded = ReadAll(packed);
    ASSERT_GE(coded.size(), 16u) << mp3;
    const bool model = WordAt(coded, 0) == MODEL2_MAGIC;
    ASSERT_TRUE(model || WordAt(coded, 0) == STORED2_MAGIC) << mp3;
    EXPECT_TRUE(!frames || (model && coded.size() < original.size())) << mp3;
    EXPECT_EQ(WideAt(coded, model ? 8 : 4), original.size()) << mp3;
    EXPECT_EQ(WordAt(coded, model ? 20 : 12), Crc32C(original.data(), original.size())) << mp3;
    if (!model) {
      ++stored;
      Bytes inverted(coded.begin() + 16, coded.end());
      for (auto& b : inverted) b = uint8_t(~b);
      EXPECT_TRUE(inverted == original) << mp3;
    }
    EXPECT_EQ(two->GetSavedBytes(packed.c_str()), int(original.size()) - int(coded.size())) << mp3;
    EXPECT_DOUBLE_EQ(two->GetSavedPercent(packed.c_str()), 100.0 - 100.0 * double(coded.size()) / double(original.size()));

    for (Module* restorer : {two.get(), one.get()}) {
      ASSERT_EQ(restorer->ProcessFile(packed.c_str(), back.c_str(), 1), 0) << mp3;
      EXPECT_TRUE(ReadAll(back) == original) << mp3 << " does not restore";
      std::remove(back.c_str());
    }
    listener.calls.clear();
    EXPECT_EQ(two->ProcessFile(packed.c_str(), nullptr, 2), 0) << mp3;
    ASSERT_FALSE(listener.calls.empty());
    EXPECT_EQ(listener.calls.back().done, int(original.size())) << mp3;

    // Format 1 is what it was, whichever entry point made the module.
    ASSERT_EQ(one->ProcessFile(mp3.c_str(), (folder / "a.sbk").c_str(), 0), 0) << mp3;
    ASSERT_EQ(oneToo->ProcessFile(mp3.c_str(), (folder / "b.sbk").c_str(), 0), 0) << mp3;
    const Bytes a = ReadAll(folder / "a.sbk");
    EXPECT_TRUE(a == ReadAll(folder / "b.sbk")) << mp3;
    EXPECT_TRUE(WordAt(a, 0) == MODEL_MAGIC || WordAt(a, 0) == STORED_MAGIC) << mp3;
  }
  EXPECT_GT(stored, 0);
  EXPECT_EQ(folder.List(), (Names{"a.sbk", "b.sbk", "noise.mp3", "x.sbk"}));
}

// One test per file, so that a parallel run spreads them: a small and a larger model-coded
// file, and a stored one. Every cut of a small file, and of the header; all the header's bits,
// where a flip changes the most; elsewhere a spread of cuts and a sample of flips.
class Damaged2 : public ::testing::TestWithParam<const char*> {};

TEST_P(Damaged2, EveryCutAndFlippedBitFailsAndLeavesNothing) {
  const std::string corpus = testdata::CorpusDir();
  ASSERT_FALSE(corpus.empty()) << "could not encode the test corpus with lame";
  Folder folder;
  auto module = ModuleOfFormat(2);
  std::string source = corpus + "/" + GetParam() + ".mp3";
  if (std::string(GetParam()) == "noise") WriteAll(source = folder / "noise.mp3", RandomBytes(1500, 9));
  const std::string packed = folder / "good.sbk", bad = folder / "bad.sbk", out = folder / "out.mp3";
  ASSERT_EQ(module->ProcessFile(source.c_str(), packed.c_str(), 0), 0);
  const Bytes good = ReadAll(packed);
  ASSERT_EQ(WordAt(good, 0), std::string(GetParam()) == "noise" ? STORED2_MAGIC : MODEL2_MAGIC);
  const size_t header = WordAt(good, 0) == MODEL2_MAGIC ? 28 : 16;

  // Each restore builds a whole model, which the sanitizers slow down many times.
  const size_t step = ScaledForSanitizer(10) == 10 ? 1 : 4;
  std::vector<size_t> cuts;
  for (size_t c = 0; c < good.size(); ++c)
    if (c <= header || (good.size() <= 2048 && c % step == 0)) cuts.push_back(c);
  for (size_t i = 1; good.size() > 2048 && i <= 50; ++i) cuts.push_back(header + i * (good.size() - header) / 51);
  std::vector<size_t> flips;
  for (size_t bit = 0; bit < 8 * header; ++bit) flips.push_back(bit);
  std::mt19937 random(31);
  for (int i = ScaledForSanitizer(200); i > 0; --i) flips.push_back(random() % (8 * good.size()));

  const auto expectFails = [&](const Bytes& damaged, const std::string& what) {
    WriteAll(bad, damaged);
    EXPECT_EQ(module->ProcessFile(bad.c_str(), out.c_str(), 1), 1) << what;
    EXPECT_FALSE(Exists(out)) << what;
    std::remove(out.c_str());
    EXPECT_EQ(module->ProcessFile(bad.c_str(), nullptr, 2), 1) << what;
  };
  for (const size_t c : cuts) expectFails(Bytes(good.begin(), good.begin() + c), "cut to " + std::to_string(c));
  for (const size_t bit : flips) {
    Bytes flipped = good;
    flipped[bit / 8] ^= uint8_t(1 << bit % 8);
    expectFails(flipped, "bit " + std::to_string(bit) + " flipped");
  }
  EXPECT_EQ(folder.List().size(), std::string(GetParam()) == "noise" ? 3u : 2u);
}

INSTANTIATE_TEST_SUITE_P(Files, Damaged2, ::testing::Values("m1_44_silence", "m25_8", "noise"));

}  // namespace
