// The `sumbrel` command run as a user runs it, on MP3 files made with lame.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "command.h"
#include "data/lame_corpus.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::ShellQuote;
using testsupport::WriteFile;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

class SumbrelCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path library = fs::path(SUMBREL_BIN).parent_path() / "libsumbrel.so";
    ASSERT_TRUE(fs::exists(library)) << library << " is not built; the command needs it";
    corpus_ = testdata::CorpusDir();
    ASSERT_FALSE(corpus_.empty()) << "lame could not make the MP3 corpus";
  }

  CommandResult Sumbrel(const std::string& arguments, const std::string& program = SUMBREL_BIN) {
    return RunCommand(ShellQuote(program) + " " + arguments, dir_.path());
  }

  // Copies a corpus file into the test's folder under a name of its own.
  std::string Mp3(const std::string& corpusName, const std::string& name) {
    fs::copy_file(corpus_ + "/" + corpusName + ".mp3", dir_ / name);
    return ReadFile(dir_ / name);
  }

  testsupport::TempDir dir_;
  std::string corpus_;
};

TEST_F(SumbrelCommand, SeveralFilesAtOnceComeBackByteForByte) {
  std::map<std::string, std::string> originals;
  for (const char* name : {"m1_44_vbr", "m1_44_tags", "m2_22_crc_vbr", "m25_8",
                           "m2_24_tiny_frames", "free_format"})
    originals[std::string(name) + ".mp3"] = Mp3(name, std::string(name) + ".mp3");
  std::string noise(5000, '\0');
  std::mt19937 random(7);
  for (char& c : noise) c = char(random());
  WriteFile(dir_ / "noise.mp3", noise);
  originals["noise.mp3"] = noise;

  const CommandResult compressed = Sumbrel("compress -j 3 --verify *.mp3");
  ASSERT_EQ(compressed.exit_code, 0) << compressed.err;
  EXPECT_EQ(compressed.err, "");  // not a terminal: no progress display
  const std::vector<std::string> lines = Lines(compressed.out);
  ASSERT_EQ(lines.size(), originals.size()) << compressed.out;
  for (const std::string& line : lines) EXPECT_NE(line.find(", verified"), std::string::npos);
  // Random bytes do not compress: the stored form is the input inverted behind its magic.
  const std::string stored = ReadFile(dir_ / "noise.mp3.sbk");
  ASSERT_EQ(stored.size(), noise.size() + 4);
  EXPECT_EQ(stored.substr(0, 4), std::string("\x05\x04\x05\0", 4));
  EXPECT_EQ(char(~stored[4]), noise[0]);

  const CommandResult info = Sumbrel("info *.sbk");
  ASSERT_EQ(info.exit_code, 0) << info.err;
  for (const std::string& line : Lines(info.out))
    EXPECT_NE(line.find(line.starts_with("noise") ? ": stored," : ": model-coded,"),
              std::string::npos) << line;

  fs::create_directory(dir_ / "originals");
  for (const auto& [name, bytes] : originals) fs::rename(dir_ / name, dir_ / ("originals/" + name));
  const CommandResult restored = Sumbrel("restore -j 2 *.sbk");
  ASSERT_EQ(restored.exit_code, 0) << restored.err;
  for (const auto& [name, bytes] : originals) EXPECT_TRUE(ReadFile(dir_ / name) == bytes) << name;
}

TEST_F(SumbrelCommand, ExistingOutputsAreKeptUnlessForced) {
  const std::string song = Mp3("m1_44_joint_cbr", "song.mp3");
  WriteFile(dir_ / "song.mp3.sbk", "keep me");
  CommandResult result = Sumbrel("compress song.mp3");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("song.mp3: the output song.mp3.sbk already exists"),
            std::string::npos) << result.err;
  EXPECT_EQ(ReadFile(dir_ / "song.mp3.sbk"), "keep me");

  result = Sumbrel("compress -f song.mp3");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(ReadFile(dir_ / "song.mp3.sbk").substr(0, 4), std::string("\x05\x04\x05\x01", 4));

  result = Sumbrel("restore song.mp3.sbk");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("already exists"), std::string::npos) << result.err;
  result = Sumbrel("restore -o copy.mp3 song.mp3.sbk");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_TRUE(ReadFile(dir_ / "copy.mp3") == song);
  EXPECT_EQ(Names(dir_.path()), (std::set<std::string>{"song.mp3", "song.mp3.sbk", "copy.mp3"}));
}

TEST_F(SumbrelCommand, DamagedCompressedFilesAreReportedAndRestoreNothing) {
  Mp3("m1_44_vbr", "x.mp3");
  ASSERT_EQ(Sumbrel("compress x.mp3").exit_code, 0);
  const std::string good = ReadFile(dir_ / "x.mp3.sbk");
  std::string frames = good;
  frames[8] = char(frames[8] + 1);
  WriteFile(dir_ / "frames.sbk", frames);
  WriteFile(dir_ / "appended.sbk", good + "xyz");
  WriteFile(dir_ / "truncated.sbk", good.substr(0, good.size() / 2));
  WriteFile(dir_ / "short.sbk", good.substr(0, 10));
  WriteFile(dir_ / "cut.sbk", good.substr(0, good.size() - 1));
  WriteFile(dir_ / "plain.sbk", "just some text");
  const std::set<std::string> before = Names(dir_.path());

  const CommandResult result =
      Sumbrel("restore frames.sbk appended.sbk truncated.sbk short.sbk cut.sbk plain.sbk");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  const std::vector<std::string> errors = Lines(result.err);
  ASSERT_EQ(errors.size(), 6u) << result.err;
  for (const char* name : {"frames.sbk", "appended.sbk", "truncated.sbk", "short.sbk", "cut.sbk"})
    EXPECT_TRUE(std::any_of(errors.begin(), errors.end(), [&](const std::string& line) {
      return line.starts_with(std::string("sumbrel: ") + name + ": damaged compressed file");
    })) << name << "\n" << result.err;
  EXPECT_NE(result.err.find("plain.sbk: not a compressed file"), std::string::npos);
  EXPECT_EQ(Names(dir_.path()), before);  // no output and no temporary file left
}

TEST_F(SumbrelCommand, ExitCodesAndMessagesNameTheFileAndTheReason) {
  Mp3("m25_8", "good.mp3");
  WriteFile(dir_ / "empty.mp3", "");
  Mp3("m25_8", "Loud.MP3");
  fs::create_directory(dir_ / "folder.mp3");
  CommandResult result =
      Sumbrel("compress good.mp3 missing.mp3 empty.mp3 Loud.MP3 folder.mp3");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_TRUE(fs::exists(dir_ / "good.mp3.sbk"));
  EXPECT_EQ(Lines(result.out).size(), 1u);
  for (const char* expected : {"missing.mp3: cannot open: No such file", "empty.mp3: is empty",
                               "Loud.MP3: the library compresses only files named *.mp3",
                               "folder.mp3: is a folder"})
    EXPECT_NE(result.err.find(std::string("sumbrel: ") + expected), std::string::npos)
        << expected << "\n" << result.err;

  for (const char* usage : {"compress -o out.sbk good.mp3 empty.mp3", "frobnicate good.mp3",
                            "-j 0 compress good.mp3", "restore --verify good.mp3.sbk", "info"}) {
    result = Sumbrel(usage);
    EXPECT_EQ(result.exit_code, 2) << usage;
    EXPECT_TRUE(result.err.starts_with("sumbrel: ")) << usage;
  }
  EXPECT_EQ(Sumbrel("--version").exit_code, 0);
  EXPECT_EQ(Sumbrel("restore missing.sbk").exit_code, 1);
}

TEST_F(SumbrelCommand, VerifyDeletesTheOutputWhenTheRestoreDiffers) {
  // A copy of the command beside a library that restores one byte wrong.
  fs::create_directory(dir_ / "bin");
  fs::copy_file(SUMBREL_BIN, dir_ / "bin/sumbrel");
  fs::copy_file(FAULTY_LIBRARY, dir_ / "bin/libsumbrel.so");
  Mp3("m25_8", "a.mp3");
  const CommandResult result = Sumbrel("compress --verify a.mp3", dir_ / "bin/sumbrel");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("sumbrel: a.mp3: verification failed"), std::string::npos)
      << result.err;
  EXPECT_EQ(Names(dir_.path()), (std::set<std::string>{"a.mp3", "bin"}));
  EXPECT_EQ(Sumbrel("compress a.mp3", dir_ / "bin/sumbrel").exit_code, 0);  // unverified: kept
}

TEST_F(SumbrelCommand, ProgressBarOnATerminal) {
  Mp3("m2_24_tiny_frames", "a.mp3");
  Mp3("m1_44_vbr", "b.mp3");
  const std::string command = ShellQuote(SUMBREL_BIN) + " compress a.mp3 b.mp3";
  const CommandResult result =
      RunCommand("script -qec " + ShellQuote(command) + " /dev/null", dir_.path());
  ASSERT_EQ(result.exit_code, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("\r["), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("% "), std::string::npos);
  EXPECT_NE(result.out.find(" MB/s  "), std::string::npos);
  EXPECT_NE(result.out.find("a.mp3 -> a.mp3.sbk: "), std::string::npos);
  EXPECT_TRUE(fs::exists(dir_ / "b.mp3.sbk"));
}

TEST_F(SumbrelCommand, InterruptedJobLeavesNoPartialOutput) {
  std::string big;
  const std::string clip = Mp3("m1_44_vbr", "clip.mp3");
  while (big.size() < 4000000) big += clip;
  WriteFile(dir_ / "big.mp3", big);
  fs::remove(dir_ / "clip.mp3");
  // Wait for the job's temporary file, then stop the command.
  const CommandResult result = RunCommand(
      ShellQuote(SUMBREL_BIN) + " compress big.mp3 & pid=$!; for i in $(seq 200); do "
      "ls -A | grep -q '^[.]big' && break; sleep 0.02; done; kill -TERM $pid; wait $pid; "
      "echo $?",
      dir_.path());
  EXPECT_EQ(result.out, "130\n") << result.err;
  EXPECT_NE(result.err.find("sumbrel: big.mp3: interrupted"), std::string::npos) << result.err;
  EXPECT_EQ(Names(dir_.path()), std::set<std::string>{"big.mp3"});
}

}  // namespace
