// The `sumbrel` command run as a user runs it, on MP3 files made with lame.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "command.h"
#include "data/lame_corpus.h"
#include "sumbrel.h"

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
  std::vector<std::string> lines = Lines(compressed.out);
  ASSERT_EQ(lines.size(), originals.size() + 1) << compressed.out;
  EXPECT_TRUE(lines.back().starts_with(std::to_string(originals.size()) + " files done, 0 failed"))
      << lines.back();
  lines.pop_back();
  for (const std::string& line : lines) EXPECT_NE(line.find(", verified"), std::string::npos);
  // Random bytes do not compress: the stored form of format 2, the default, is the input
  // inverted behind its magic, its 64-bit length and its CRC-32C.
  const std::string stored = ReadFile(dir_ / "noise.mp3.sbk");
  ASSERT_EQ(stored.size(), noise.size() + 16);
  EXPECT_EQ(stored.substr(0, 12), std::string("\x05\x04\x05\x53\x88\x13\0\0\0\0\0\0", 12));
  EXPECT_EQ(char(~stored[16]), noise[0]);

  const CommandResult info = Sumbrel("info *.sbk");
  ASSERT_EQ(info.exit_code, 0) << info.err;
  for (const std::string& line : Lines(info.out))
    EXPECT_NE(line.find(line.starts_with("noise") ? ": stored (format 2)," : ": model-coded (format 2),"),
              std::string::npos) << line;
  char crc[32];
  std::snprintf(crc, sizeof crc, ", CRC-32C %02x%02x%02x%02x", uint8_t(stored[15]), uint8_t(stored[14]),
                uint8_t(stored[13]), uint8_t(stored[12]));
  EXPECT_TRUE(Lines(info.out).back().ends_with(crc)) << info.out;

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
  EXPECT_EQ(ReadFile(dir_ / "song.mp3.sbk").substr(0, 4), std::string("\x05\x04\x05\x32", 4));

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
  frames[16] = char(frames[16] + 1);  // format 2's frame count
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
  EXPECT_TRUE(result.out.starts_with("0 files done, 6 failed; ")) << result.out;
  const std::vector<std::string> errors = Lines(result.err);
  // Six messages, then the batch's list of them.
  ASSERT_EQ(errors.size(), 6u + 1u + 6u) << result.err;
  EXPECT_EQ(errors[6], "sumbrel: 6 of 6 files failed:");
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
  WriteFile(dir_ / "notes.txt", "not an MP3 name");
  fs::create_directory(dir_ / "folder.mp3");
  CommandResult result =
      Sumbrel("compress good.mp3 missing.mp3 empty.mp3 notes.txt folder.mp3");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_TRUE(fs::exists(dir_ / "good.mp3.sbk"));
  EXPECT_EQ(Lines(result.out).size(), 2u);  // the file done and the totals
  EXPECT_NE(result.out.find("1 file done, 4 failed;"), std::string::npos) << result.out;
  for (const char* expected : {"missing.mp3: cannot open: No such file", "empty.mp3: is empty",
                               "notes.txt: is not named *.mp3", "folder.mp3: is a folder"})
    EXPECT_NE(result.err.find(std::string("sumbrel: ") + expected), std::string::npos)
        << expected << "\n" << result.err;

  for (const char* usage : {"compress -o out.sbk good.mp3 empty.mp3", "frobnicate good.mp3",
                            "-j 0 compress good.mp3", "restore --verify good.mp3.sbk", "info",
                            "compress -c good.mp3 empty.mp3", "test -f good.mp3.sbk",
                            "compress --rm -c good.mp3", "compress - good.mp3"}) {
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
  const CommandResult result = Sumbrel("compress --format 1 --verify a.mp3", dir_ / "bin/sumbrel");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("sumbrel: a.mp3: verification failed"), std::string::npos)
      << result.err;
  EXPECT_EQ(Names(dir_.path()), (std::set<std::string>{"a.mp3", "bin"}));
  // That library knows format 1 only, as the ones before format 2 did.
  for (const char* needsFormat2 : {"compress a.mp3", "test x.sbk"}) {
    const CommandResult old = Sumbrel(needsFormat2, dir_ / "bin/sumbrel");
    EXPECT_EQ(old.exit_code, 1) << needsFormat2;
    EXPECT_NE(old.err.find("bin/libsumbrel.so is too old for format 2 and for test: it has no entry point "
                           "GetModuleOfFormat"), std::string::npos) << old.err;
  }
  EXPECT_EQ(Names(dir_.path()), (std::set<std::string>{"a.mp3", "bin"}));
  EXPECT_EQ(Sumbrel("compress --format 1 a.mp3", dir_ / "bin/sumbrel").exit_code, 0);  // unverified: kept
}

TEST_F(SumbrelCommand, RemoveKeepsTheInputWhenVerificationFails) {
  fs::create_directory(dir_ / "bin");
  fs::copy_file(SUMBREL_BIN, dir_ / "bin/sumbrel");
  fs::copy_file(FAULTY_LIBRARY, dir_ / "bin/libsumbrel.so");
  const std::string original = Mp3("m25_8", "a.mp3");
  const CommandResult result = Sumbrel("compress --format 1 --rm a.mp3", dir_ / "bin/sumbrel");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("verification failed"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("the input is kept"), std::string::npos) << result.err;
  EXPECT_EQ(Names(dir_.path()), (std::set<std::string>{"a.mp3", "bin"}));
  EXPECT_EQ(ReadFile(dir_ / "a.mp3"), original);
  // With the real library the same command removes the input, and restore --rm the packed file.
  ASSERT_EQ(Sumbrel("compress --rm a.mp3").exit_code, 0);
  EXPECT_EQ(Names(dir_.path()), (std::set<std::string>{"a.mp3.sbk", "bin"}));
  ASSERT_EQ(Sumbrel("restore --rm a.mp3.sbk").exit_code, 0);
  EXPECT_EQ(Names(dir_.path()), (std::set<std::string>{"a.mp3", "bin"}));
  EXPECT_EQ(ReadFile(dir_ / "a.mp3"), original);
}

// A collection as users keep one: nested folders, names in any case, files that are not
// MP3, a link that loops back; times and permissions survive the round trip, and nothing
// but the outputs is left behind (no temporary files, no links made for the library).
TEST_F(SumbrelCommand, FoldersWithAnyCaseNamesComeBackWithTheirTimes) {
  fs::create_directories(dir_ / "music/Album 1");
  std::map<std::string, std::string> originals;
  originals["music/Song.MP3"] = Mp3("m25_8", "music/Song.MP3");
  originals["music/Album 1/b.mp3"] = Mp3("m2_22_joint", "music/Album 1/b.mp3");
  originals["music/Album 1/A.Mp3"] = Mp3("m1_44_tags", "music/Album 1/A.Mp3");
  WriteFile(dir_ / "music/Album 1/cover.jpg", "not audio");
  fs::create_directory_symlink("..", dir_ / "music/Album 1/loop");
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  for (const auto& [name, bytes] : originals) fs::last_write_time(dir_ / name, old);
  fs::permissions(dir_ / "music/Song.MP3", fs::perms(0640));

  const CommandResult compressed = Sumbrel("compress -r -j 2 music");
  ASSERT_EQ(compressed.exit_code, 0) << compressed.err;
  const std::vector<std::string> lines = Lines(compressed.out);
  ASSERT_EQ(lines.size(), 4u) << compressed.out;  // in path order, then the totals
  EXPECT_TRUE(lines[0].starts_with("music/Album 1/A.Mp3 -> music/Album 1/A.Mp3.sbk: ")) << lines[0];
  EXPECT_TRUE(lines[1].starts_with("music/Album 1/b.mp3 -> ")) << lines[1];
  EXPECT_TRUE(lines[2].starts_with("music/Song.MP3 -> music/Song.MP3.sbk: ")) << lines[2];
  EXPECT_TRUE(lines[3].starts_with("3 files done, 0 failed; ")) << lines[3];
  EXPECT_EQ(Names(dir_ / "music/Album 1"),
            (std::set<std::string>{"A.Mp3", "A.Mp3.sbk", "b.mp3", "b.mp3.sbk", "cover.jpg", "loop"}));

  for (const auto& [name, bytes] : originals) fs::remove(dir_ / name);
  const CommandResult restored = Sumbrel("restore -r -q music");
  ASSERT_EQ(restored.exit_code, 0) << restored.err;
  EXPECT_EQ(restored.out, "");  // -q: nothing but failures
  for (const auto& [name, bytes] : originals) {
    EXPECT_EQ(ReadFile(dir_ / name), bytes) << name;
    EXPECT_EQ(fs::last_write_time(dir_ / name), old) << name;
  }
  EXPECT_EQ(fs::status(dir_ / "music/Song.MP3").permissions(), fs::perms(0640));
  EXPECT_EQ(Names(dir_ / "music"), (std::set<std::string>{"Album 1", "Song.MP3", "Song.MP3.sbk"}));
}

// Pipes in both directions, and `test`, which writes nothing anywhere the user can see.
TEST_F(SumbrelCommand, PipesAndTestLeaveNothingBehind) {
  const std::string original = Mp3("m1_44_vbr", "a.mp3");
  // The command's own temporary files go here, so that the test can see them gone.
  fs::create_directory(dir_ / "tmp");
  const std::string sumbrel = "TMPDIR=tmp " + ShellQuote(SUMBREL_BIN);
  CommandResult packed = RunCommand(sumbrel + " compress -c - < a.mp3", dir_.path());
  ASSERT_EQ(packed.exit_code, 0) << packed.err;
  EXPECT_EQ(packed.err, "");
  ASSERT_GT(packed.out.size(), 16u);
  WriteFile(dir_ / "a.sbk", packed.out);
  const CommandResult back = RunCommand(sumbrel + " restore -c a.sbk", dir_.path());
  ASSERT_EQ(back.exit_code, 0) << back.err;
  EXPECT_EQ(back.out, original);
  EXPECT_EQ(RunCommand(sumbrel + " restore - < a.sbk", dir_.path()).out, original);
  const CommandResult fromPipe = RunCommand(sumbrel + " test - < a.sbk", dir_.path());
  EXPECT_EQ(fromPipe.exit_code, 0) << fromPipe.err;
  EXPECT_TRUE(fromPipe.out.starts_with("standard input: whole, ")) << fromPipe.out;
  // A reader that stops early: the command fails, and still cleans up.
  const CommandResult closed = RunCommand(sumbrel + " restore -c a.sbk | head -c 1 >/dev/null; "
                                          "echo ${PIPESTATUS:-}", dir_.path());
  EXPECT_NE(closed.err.find("standard output: write failed"), std::string::npos) << closed.err;

  WriteFile(dir_ / "cut.sbk", packed.out.substr(0, packed.out.size() - 3));
  const std::set<std::string> before = Names(dir_.path());
  const CommandResult tested = RunCommand(sumbrel + " test a.sbk cut.sbk", dir_.path());
  EXPECT_EQ(tested.exit_code, 1);
  EXPECT_TRUE(Lines(tested.out).at(0).starts_with("a.sbk: whole, ")) << tested.out;
  EXPECT_NE(tested.err.find("sumbrel: cut.sbk: damaged compressed file"), std::string::npos)
      << tested.err;
  EXPECT_EQ(Names(dir_.path()), before);
  EXPECT_TRUE(Names(dir_ / "tmp").empty());
}

// --format 1 writes exactly what a host of the plug-in's GetModule gets. `test` leaves the
// default format 2 to the library's check, which writes nothing, so it needs no temporary
// folder, and which fails on a flipped bit in the coded part or in the recorded checksum.
TEST_F(SumbrelCommand, FormatOneIsThePlugInsAndTestChecksWithoutTemporaryFiles) {
  const std::string original = Mp3("m1_44_vbr", "a.mp3");
  void* library = dlopen((fs::path(SUMBREL_BIN).parent_path() / "libsumbrel.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  const auto getModule = reinterpret_cast<GetModuleFunction>(dlsym(library, "GetModule"));
  ASSERT_NE(getModule, nullptr);
  {
    const ModulePtr module(getModule(0));
    ASSERT_EQ(module->ProcessFile((dir_ / "a.mp3").c_str(), (dir_ / "plugin.sbk").c_str(), 0), 0);
  }
  dlclose(library);
  CommandResult result = Sumbrel("compress --format 1 --verify -o one.sbk a.mp3");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const std::string one = ReadFile(dir_ / "one.sbk");
  EXPECT_TRUE(one == ReadFile(dir_ / "plugin.sbk"));

  ASSERT_EQ(Sumbrel("compress a.mp3").exit_code, 0);
  const std::string two = ReadFile(dir_ / "a.mp3.sbk");
  ASSERT_EQ(two.substr(0, 4), std::string("\x05\x04\x05\x32", 4));
  std::string damaged = two;
  damaged[two.size() / 2] ^= 0x10;
  WriteFile(dir_ / "coded.sbk", damaged);
  damaged = two;
  damaged[20] ^= 1;  // the recorded CRC-32C of the MP3 file
  WriteFile(dir_ / "checksum.sbk", damaged);
  const std::set<std::string> before = Names(dir_.path());
  result = RunCommand("TMPDIR=/nonexistent " + ShellQuote(SUMBREL_BIN) +
                          " test -j 2 a.mp3.sbk one.sbk coded.sbk checksum.sbk",
                      dir_.path());
  EXPECT_EQ(result.exit_code, 1);
  const auto frames = [](const std::string& bytes, size_t at) {
    return std::to_string(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8 | uint8_t(bytes[at + 2]) << 16);
  };
  const std::string restored = "whole, " + std::to_string(original.size()) + " bytes restored, model-coded ";
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_GE(lines.size(), 2u) << result.out << result.err;
  EXPECT_EQ(lines[0], "a.mp3.sbk: " + restored + "(format 2), checksum holds, " + frames(two, 16) + " frames");
  EXPECT_EQ(lines[1], "one.sbk: " + restored + "(format 1), no checksum to check, " + frames(one, 8) + " frames");
  for (const char* name : {"coded.sbk", "checksum.sbk"})
    EXPECT_NE(result.err.find(std::string("sumbrel: ") + name + ": damaged compressed file: it does not "
                              "restore to the length and checksum it records (it is cut short or corrupt)\n"),
              std::string::npos) << name << "\n" << result.err;
  EXPECT_EQ(Names(dir_.path()), before);
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
  // Compresses `name`, and once the job's temporary file is there runs `stop` ($pid is the
  // command); prints the command's exit code.
  const auto stopped = [&](const std::string& name, const std::string& stop) {
    return RunCommand(ShellQuote(SUMBREL_BIN) + " compress " + name + " & pid=$!; for i in $(seq 200); do "
                      "ls -A .sumbrel-job-* 2>/dev/null | grep -q " + name + " && break; sleep 0.02; done; " +
                      stop + "; wait $pid; echo $?",
                      dir_.path());
  };
  const CommandResult result = stopped("big.mp3", "kill -TERM $pid");
  EXPECT_EQ(result.out, "130\n") << result.err;
  EXPECT_NE(result.err.find("sumbrel: big.mp3: interrupted"), std::string::npos) << result.err;
  EXPECT_EQ(Names(dir_.path()), std::set<std::string>{"big.mp3"});

  // A job process killed outright cleans up nothing itself; the command does it for it, also
  // for the link that a name in upper case needs.
  fs::rename(dir_ / "big.mp3", dir_ / "BIG.MP3");
  const CommandResult killed = stopped("BIG.MP3", "pkill -KILL -P $pid");
  EXPECT_EQ(killed.out, "1\n") << killed.err;
  EXPECT_NE(killed.err.find("killed by signal 9"), std::string::npos) << killed.err;
  EXPECT_EQ(Names(dir_.path()), std::set<std::string>{"BIG.MP3"});
}

}  // namespace

namespace {

// Running again over a growing collection named through a link: what is done is skipped, a
// batch with failures ends by listing them, info -r adds up the folder, and a full disk is
// named as such.
TEST_F(SumbrelCommand, GrowingCollectionThroughALink) {
  fs::create_directory(dir_ / "music");
  Mp3("m25_8", "music/a.mp3");
  Mp3("m1_44_vbr", "music/b.mp3");
  fs::create_directory_symlink("music", dir_ / "via");
  CommandResult result = Sumbrel("compress -r via");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_TRUE(fs::exists(dir_ / "music/a.mp3.sbk") && fs::exists(dir_ / "music/b.mp3.sbk"));

  Mp3("m25_8", "music/c.mp3");
  result = Sumbrel("compress -r --skip-existing via");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(Lines(result.out).front(), "via/c.mp3 -> via/c.mp3.sbk" + Lines(result.out).front().substr(26));
  EXPECT_EQ(Lines(result.out).back().rfind("1 file done, 0 failed, 2 skipped;", 0), 0u) << result.out;

  result = Sumbrel("compress via/a.mp3 missing.mp3 via/c.mp3");
  EXPECT_EQ(result.exit_code, 1);
  const std::vector<std::string> err = Lines(result.err);
  ASSERT_GE(err.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(err.end() - 4, err.end()),
            (std::vector<std::string>{"sumbrel: 3 of 3 files failed:",
                                      "  via/a.mp3: the output via/a.mp3.sbk already exists (-f replaces it)",
                                      "  missing.mp3: cannot open: No such file or directory",
                                      "  via/c.mp3: the output via/c.mp3.sbk already exists (-f replaces it)"}));

  result = Sumbrel("info -r via");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(Lines(result.out).size(), 4u);
  EXPECT_EQ(Lines(result.out).back().rfind("3 compressed files, original ", 0), 0u) << result.out;
  EXPECT_NE(Lines(result.out).back().find("; 0 not compressed, 0 failed"), std::string::npos) << result.out;

  fs::copy_file(dir_ / "music/a.mp3.sbk", dir_ / "weird.name");
  EXPECT_EQ(Sumbrel("restore weird.name").err,
            "sumbrel: weird.name: is not named *.sbk, so it gives no name for the restored file; name it "
            "with -o\n");
  EXPECT_EQ(Sumbrel("compress -o /nonexistent/dir/x.sbk music/a.mp3").err,
            "sumbrel: music/a.mp3: cannot write in the folder /nonexistent/dir: No such file or directory\n");

  // A disk too small for the output, where this machine lets the test make one.
  const std::string small = dir_ / "small";
  fs::create_directory(small);
  if (RunCommand("mount -t tmpfs -o size=8k tmpfs " + ShellQuote(small) + " 2>/dev/null", "/").exit_code != 0)
    return;
  const CommandResult full = Sumbrel("compress -o small/x.sbk music/b.mp3");
  const CommandResult fullRestore = Sumbrel("restore -o small/b.mp3 music/b.mp3.sbk");
  RunCommand("umount " + ShellQuote(small), "/");
  EXPECT_EQ(full.exit_code, 1);
  EXPECT_NE(full.err.find("cannot write the compressed file in small: No space left on device"), std::string::npos)
      << full.err;
  EXPECT_NE(fullRestore.err.find("cannot write the restored file in small: No space left on device"),
            std::string::npos)
      << fullRestore.err;
}

}  // namespace
