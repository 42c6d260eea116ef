// Black-box tests of the fennick program: arguments, messages, replacement values,
// masks and the safety of the rewrite.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "command.h"

using testsupport::CommandResult;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::ShellQuote;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// Runs fennick with the given arguments (already quoted where needed) in `dir`,
// pinned to `cpus` processors so the replacement value is known.
CommandResult Fennick(const TempDir& dir, const std::string& args, const char* cpus = "0") {
  return RunCommand(std::string("taskset -c ") + cpus + " " + FENNICK_BIN + " " + args, dir.path());
}

// As Fennick, but without the powers that let root ignore file permissions, so
// that unreadable files and read-only folders behave as they do for a user.
CommandResult FennickWithoutOverride(const TempDir& dir, const std::string& args) {
  std::string prefix;
  if (geteuid() == 0)
    prefix = "setpriv --bounding-set=-dac_override,-dac_read_search,-fowner ";
  return RunCommand(prefix + "taskset -c 0 " + FENNICK_BIN + " " + args, dir.path());
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

const char kUsage[] = "Usage: fennick <file|mask> <string> <number>\n";

}  // namespace

TEST(FennickArguments, FewerThanThreeGiveUsageAndExitOne) {
  TempDir dir;
  WriteFile(dir / "f", "X");
  for (const char* args : {"", "f", "f X"}) {
    const CommandResult r = Fennick(dir, args);
    EXPECT_EQ(r.exit_code, 1) << args;
    EXPECT_EQ(r.out, kUsage) << args;
  }
  EXPECT_EQ(ReadFile(dir / "f"), "X");
}

TEST(FennickArguments, ExtraArgumentsAreIgnored) {
  TempDir dir;
  WriteFile(dir / "f", "X");
  const CommandResult r = Fennick(dir, "f X 0 extra more");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "Updated f\n");
  EXPECT_EQ(ReadFile(dir / "f"), "1");
}

TEST(FennickArguments, RefusedArgumentsTouchNothing) {
  TempDir dir;
  WriteFile(dir / "f", "X");
  struct Case {
    std::string args, out;
  } cases[] = {
      {"f '' 0", "String must not be empty.\n"},
      {"f X 5", "Number must be 0 or negative.\n"},
      {"f X +7", "Number must be 0 or negative.\n"},
      {"f X ' 12'", "Number must be 0 or negative.\n"},
      {"f X 99999999999999999999", "Number must be 0 or negative.\n"},
      {"'*.none' X 0", "No files match mask.\n"},
      {"'nothing?' X 0", "No files match mask.\n"},
  };
  for (const Case& c : cases) {
    const CommandResult r = Fennick(dir, c.args);
    EXPECT_EQ(r.exit_code, 1) << c.args;
    EXPECT_EQ(r.out, c.out) << c.args;
  }
  EXPECT_EQ(ReadFile(dir / "f"), "X");
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"f"});
}

TEST(FennickNumber, ReplacementValueOnOneProcessor) {
  struct Case {
    const char* number;
    const char* value;
  } cases[] = {
      {"0", "1"},           {"-1", "0"},         {"-20", "-19"},
      {"abc", "1"},         {"+0", "1"},         {"'   -3'", "-2"},
      {"'\t-4'", "-3"},     {"-2x5", "-1"},      {"'- 3'", "1"},
      {"--3", "1"},         {"-0", "1"},         {"''", "1"},
      {"-2147483647", "-2147483646"},
      // Beyond the 32-bit range the number saturates at INT32_MIN.
      {"-2147483648", "-2147483647"},
      {"-2147483649", "-2147483647"},
      {"-99999999999999999999999", "-2147483647"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteFile(dir / "f", "<X>");
    const CommandResult r = Fennick(dir, std::string("f X ") + c.number);
    EXPECT_EQ(r.exit_code, 0) << c.number;
    EXPECT_EQ(r.out, "Updated f\n") << c.number;
    EXPECT_EQ(ReadFile(dir / "f"), std::string("<") + c.value + ">") << c.number;
  }
}

TEST(FennickNumber, ZeroGivesTheProcessorsThisProcessMayUse) {
  if (sysconf(_SC_NPROCESSORS_ONLN) < 2) GTEST_SKIP() << "needs two processors";
  TempDir dir;
  WriteFile(dir / "f", "X X");
  const CommandResult r = Fennick(dir, "f X 0", "0,1");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(ReadFile(dir / "f"), "2 2");
  Fennick(dir, "f 2 -3", "0,1");
  EXPECT_EQ(ReadFile(dir / "f"), "-1 -1");
}

TEST(FennickReplace, MatchesDoNotOverlapAndReplacedTextIsNotSearchedAgain) {
  TempDir dir;
  WriteFile(dir / "a", "aaaaa");
  WriteFile(dir / "b", "x--y---z");
  Fennick(dir, "a aa -1");
  // STRING "-" is also inside the replacement "-9": it must not be replaced again.
  Fennick(dir, "b - -10");
  EXPECT_EQ(ReadFile(dir / "a"), "00a");
  EXPECT_EQ(ReadFile(dir / "b"), "x-9-9y-9-9-9z");
}

TEST(FennickReplace, LongerReplacementGrowsTheFileManyTimes) {
  TempDir dir;
  const std::string original(200000, 'x');
  WriteFile(dir / "f", original);
  const CommandResult r = Fennick(dir, "f x -1000000");
  EXPECT_EQ(r.out, "Updated f\n");
  std::string expected;
  for (size_t i = 0; i < original.size(); ++i) expected += "-999999";
  EXPECT_EQ(ReadFile(dir / "f"), expected);
}

TEST(FennickReplace, ZeroBytesAreKeptAndTheFileIsNeverCut) {
  TempDir dir;
  const std::string original("a\0X\0\0bX\0", 8);
  WriteFile(dir / "f", original);
  const CommandResult r = Fennick(dir, "f X -2");
  EXPECT_EQ(r.out, "Updated f\n");
  EXPECT_EQ(ReadFile(dir / "f"), std::string("a\0-1\0\0b-1\0", 10));
}

TEST(FennickReplace, FileWithoutTheStringOrEmptyIsStillRewritten) {
  TempDir dir;
  WriteFile(dir / "plain", "nothing here");
  WriteFile(dir / "empty", "");
  EXPECT_EQ(Fennick(dir, "plain X 0").out, "Updated plain\n");
  EXPECT_EQ(Fennick(dir, "empty X 0").out, "Updated empty\n");
  EXPECT_EQ(ReadFile(dir / "plain"), "nothing here");
  EXPECT_EQ(ReadFile(dir / "empty"), "");
}

TEST(FennickFiles, MissingFileOrDirectoryCannotBeOpened) {
  TempDir dir;
  std::filesystem::create_directory(dir / "folder");
  for (const char* name : {"missing", "folder"}) {
    const CommandResult r = Fennick(dir, std::string(name) + " X 0");
    EXPECT_EQ(r.exit_code, 0) << name;
    EXPECT_EQ(r.out, std::string("Cannot open ") + name + "\n");
  }
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"folder"});
}

TEST(FennickMask, FilesAreProcessedAndDirectoriesSkipped) {
  TempDir dir;
  WriteFile(dir / "b.txt", "X");
  WriteFile(dir / "a.txt", "XX");
  WriteFile(dir / "c.dat", "X");
  std::filesystem::create_directory(dir / "dir.txt");
  WriteFile(dir / "dir.txt/inner.txt", "X");
  const CommandResult r = Fennick(dir, "'*.txt' X 0");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "Updated a.txt\nUpdated b.txt\n");
  EXPECT_EQ(ReadFile(dir / "a.txt"), "11");
  EXPECT_EQ(ReadFile(dir / "b.txt"), "1");
  EXPECT_EQ(ReadFile(dir / "c.dat"), "X");
  EXPECT_EQ(ReadFile(dir / "dir.txt/inner.txt"), "X");

  const CommandResult single = Fennick(dir, "'?.dat' X -1");
  EXPECT_EQ(single.out, "Updated c.dat\n");
  EXPECT_EQ(ReadFile(dir / "c.dat"), "0");
}

TEST(FennickMask, OnlyDirectoriesMatchedProcessesNothing) {
  TempDir dir;
  std::filesystem::create_directory(dir / "d1");
  std::filesystem::create_directory(dir / "d2");
  const CommandResult r = Fennick(dir, "'d*' X 0");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
}

TEST(FennickMask, DirectoryPartIsKeptInPathAndMessage) {
  TempDir dir;
  std::filesystem::create_directory(dir / "conf");
  WriteFile(dir / "conf/a.ini", "n=X");
  WriteFile(dir / "conf/b.ini", "m=X");
  WriteFile(dir / "a.ini", "decoy X");  // same bare name in the current folder
  const CommandResult r = Fennick(dir, "'conf/*.ini' X 0");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "Updated conf/a.ini\nUpdated conf/b.ini\n");
  EXPECT_EQ(ReadFile(dir / "conf/a.ini"), "n=1");
  EXPECT_EQ(ReadFile(dir / "conf/b.ini"), "m=1");
  EXPECT_EQ(ReadFile(dir / "a.ini"), "decoy X");
}

TEST(FennickSafety, UnreadableFileIsReportedAndOthersGoOn) {
  TempDir dir;
  WriteFile(dir / "a.txt", "X");
  WriteFile(dir / "b.txt", "secret X");
  WriteFile(dir / "c.txt", "X");
  chmod((dir / "b.txt").c_str(), 0);
  const CommandResult r = FennickWithoutOverride(dir, "'*.txt' X 0");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "Updated a.txt\nCannot open b.txt\nUpdated c.txt\n");
  chmod((dir / "b.txt").c_str(), 0600);
  EXPECT_EQ(ReadFile(dir / "b.txt"), "secret X");
  EXPECT_EQ(ReadFile(dir / "c.txt"), "1");
}

TEST(FennickSafety, ReadOnlyFolderKeepsTheOriginalAndLeavesNoTemporaryFile) {
  TempDir dir;
  std::filesystem::create_directory(dir / "ro");
  const std::string original = "keep X me";
  WriteFile(dir / "ro/f", original);
  chmod((dir / "ro").c_str(), 0555);
  const CommandResult r = FennickWithoutOverride(dir, "ro/f X 0");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err, "");  // the reason is given on standard error
  EXPECT_EQ(ReadFile(dir / "ro/f"), original);
  EXPECT_EQ(Entries(dir / "ro"), std::vector<std::string>{"f"});
}

TEST(FennickSafety, ReplacementKeepsPermissionsLinksAndLeavesNoTemporaryFile) {
  TempDir dir;
  WriteFile(dir / "target", "X");
  chmod((dir / "target").c_str(), 0640);
  std::filesystem::create_symlink("target", dir / "link");
  const CommandResult r = Fennick(dir, "link X 0");
  EXPECT_EQ(r.out, "Updated link\n");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));
  EXPECT_EQ(ReadFile(dir / "target"), "1");
  struct stat info;
  ASSERT_EQ(stat((dir / "target").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"link", "target"}));
}
