// Whole jobs through the module: every corpus file and files without frames come back byte
// for byte, in the form, with the header and the progress a host relies on.
#include "bitstream/huffman_tables.h"
#include "data/lame_corpus.h"
#include "module/file_coder.h"
#include "module_helpers.h"

using namespace module_test;

namespace {

struct Job {
  int result, frames;
  std::vector<ProgressCall> calls;
};

Job RunJob(const std::string& input, const std::string& output, int decode) {
  RecordingListener listener;
  auto module = MakeModule(&listener);
  const int result = module->ProcessFile(input.c_str(), output.c_str(), decode);
  return {result, static_cast<MP3Module*>(module.get())->frames, listener.calls};
}

// One call per coded frame, the MP3 side moving forward, and a last call with both lengths.
void ExpectProgress(const Job& job, int mp3Length, int packedLength, const std::string& name) {
  ASSERT_EQ(job.calls.size(), size_t(job.frames) + 1) << name;
  for (size_t i = 0; i + 1 < job.calls.size(); ++i) {
    EXPECT_EQ(job.calls[i].total, mp3Length) << name;
    EXPECT_LE(job.calls[i].done, i + 2 < job.calls.size() ? job.calls[i + 1].done : mp3Length) << name;
  }
  EXPECT_EQ(job.calls.back().total, mp3Length) << name;
  EXPECT_EQ(job.calls.back().done, mp3Length) << name;
  EXPECT_EQ(job.calls.back().coded, packedLength) << name;
}

TEST(ModuleRoundTrip, EveryCorpusFileRestoresExactly) {
  const std::string corpus = testdata::CorpusDir();
  ASSERT_FALSE(corpus.empty()) << "could not encode the test corpus with lame";
  Folder folder;
  auto module = MakeModule();
  for (const auto& file : testdata::CorpusFiles()) {
    const std::string mp3 = corpus + "/" + file.name + ".mp3", packed = folder / "x.sbk";
    const Bytes original = ReadAll(mp3);
    const Job encode = RunJob(mp3, packed, 0);
    ASSERT_EQ(encode.result, 0) << file.name;
    const Bytes coded = ReadAll(packed);
    ASSERT_GE(coded.size(), 17u) << file.name;
    if (file.layer3Frames) {  // frames are where the model earns its keep
      EXPECT_LT(coded.size(), original.size()) << file.name;
      EXPECT_GT(encode.frames, 0) << file.name;
    }
    if (WordAt(coded, 0) == MODEL_MAGIC) {
      EXPECT_EQ(WordAt(coded, 4), original.size()) << file.name;
      EXPECT_EQ(WordAt(coded, 8), uint32_t(encode.frames)) << file.name;
      EXPECT_EQ(WordAt(coded, 12), 0u) << file.name;
      EXPECT_EQ(coded[16], 0) << file.name;
      EXPECT_EQ(module->GetSavedBytes(packed.c_str()), int(original.size()) - int(coded.size()));
      EXPECT_DOUBLE_EQ(module->GetSavedPercent(packed.c_str()),
                       100.0 - 100.0 * double(coded.size()) / double(original.size()));
    }
    ExpectProgress(encode, int(original.size()), int(coded.size()), file.name);

    const Job decode = RunJob(packed, folder / "x.mp3", 1);
    ASSERT_EQ(decode.result, 0) << file.name;
    EXPECT_TRUE(ReadAll(folder / "x.mp3") == original) << file.name << " does not restore";
    EXPECT_EQ(decode.frames, encode.frames) << file.name;
    ExpectProgress(decode, int(original.size()), int(coded.size()), file.name);
  }
}

TEST(ModuleRoundTrip, FileWithoutFramesKeepsTheFormatsFixedFacts) {
  Folder folder;
  const Bytes text = TextBytes(1000);
  WriteAll(folder / "notes.mp3", text);
  auto module = MakeModule();
  ASSERT_EQ(module->ProcessFile((folder / "notes.mp3").c_str(), (folder / "notes.sbk").c_str(), 0), 0);
  Bytes coded = ReadAll(folder / "notes.sbk");
  ASSERT_GT(coded.size(), 16u);
  ASSERT_LT(coded.size(), text.size());
  EXPECT_EQ(Bytes(coded.begin(), coded.begin() + 17),
            (Bytes{0x05, 0x04, 0x05, 0x01, 0xE8, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  // Bytes after the coded stream come back after the MP3 file.
  const Bytes tail = {'T', 'A', 'I', 'L', 0, 0xFF};
  for (const Bytes& extra : {Bytes{}, tail}) {
    Bytes withTail = coded, expected = text;
    withTail.insert(withTail.end(), extra.begin(), extra.end());
    expected.insert(expected.end(), extra.begin(), extra.end());
    WriteAll(folder / "tail.sbk", withTail);
    ASSERT_EQ(module->ProcessFile((folder / "tail.sbk").c_str(), (folder / "back.mp3").c_str(), 1), 0);
    EXPECT_TRUE(ReadAll(folder / "back.mp3") == expected) << extra.size();
  }
}

TEST(ModuleRoundTrip, IncompressibleInputIsStoredInverted) {
  Folder folder;
  auto module = MakeModule();
  for (size_t size : {size_t(1), size_t(100), size_t(70000)}) {
    const Bytes noise = RandomBytes(size, uint32_t(size));
    WriteAll(folder / "noise.mp3", noise);
    ASSERT_EQ(module->ProcessFile((folder / "noise.mp3").c_str(), (folder / "noise.sbk").c_str(), 0), 0);
    const Bytes stored = ReadAll(folder / "noise.sbk");
    ASSERT_EQ(stored.size(), size + 4);
    EXPECT_EQ(WordAt(stored, 0), STORED_MAGIC);
    for (size_t i = 0; i < size; ++i) ASSERT_EQ(stored[4 + i], uint8_t(~noise[i])) << i;
    EXPECT_EQ(module->GetSavedBytes((folder / "noise.sbk").c_str()), -4);
    ASSERT_EQ(module->ProcessFile((folder / "noise.sbk").c_str(), (folder / "back.mp3").c_str(), 1), 0);
    EXPECT_TRUE(ReadAll(folder / "back.mp3") == noise) << size;
  }
  EXPECT_EQ(folder.List(), (Names{"back.mp3", "noise.mp3", "noise.sbk"}));
}

}  // namespace

namespace {

Bytes StreamBytes(FILE* file) {
  Bytes bytes;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;) bytes.push_back(uint8_t(c));
  return bytes;
}

}  // namespace

// A coder that keeps its model's memory between jobs starts each one from exactly the state a
// fresh coder starts from: the same coded bytes as the module's jobs, in both directions, with
// sub-models handed on between files of different stereo modes and block kinds.
TEST(ModuleRoundTrip, ACoderKeptBetweenJobsCodesAsAFreshOne) {
  const std::string corpus = testdata::CorpusDir();
  ASSERT_FALSE(corpus.empty()) << "could not encode the test corpus with lame";
  Folder folder;
  auto module = MakeModule();
  FileCoder kept;
  kept.keepModelMemory = true;
  for (const char* name : {"m1_44_forced_ms", "m2_22_joint", "m1_44_transients", "m1_48_stereo",
                           "m25_8", "m1_44_vbr", "m1_44_tags"}) {
    const std::string mp3 = corpus + "/" + name + ".mp3", packed = folder / "x.sbk";
    ASSERT_EQ(module->ProcessFile(mp3.c_str(), packed.c_str(), 0), 0) << name;
    const Bytes fresh = ReadAll(packed), original = ReadAll(mp3);
    FILE* in = std::fopen(mp3.c_str(), "rb");
    FILE* coded = std::tmpfile();
    FILE* back = std::tmpfile();
    ASSERT_EQ(kept.StartEncode(in, coded, 0, 0), 0);
    while (kept.EncodeStep() == 1) {
    }
    ASSERT_EQ(kept.FinishEncode(), 0);
    EXPECT_EQ(StreamBytes(coded), fresh) << name;
    std::rewind(coded);
    ASSERT_EQ(kept.StartDecode(coded, back), 0);
    while (kept.DecodeStep() == 1) {
    }
    EXPECT_FALSE(kept.Damaged()) << name;
    ASSERT_EQ(kept.FinishDecode(), 0);
    EXPECT_EQ(StreamBytes(back), original) << name;
    for (FILE* f : {in, coded, back}) std::fclose(f);
  }
  kept.keepModelMemory = false;
  kept.Release();
  ReleaseCodeTables();
}
