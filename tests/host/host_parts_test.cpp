// The command's parts on their own: every usage error of the command line, the checks that
// Plan makes before any work starts, and a job as it travels to a job's process.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "command.h"
#include "command_line.h"
#include "job_planner.h"
#include "job_wire.h"
#include "sumbrel.h"

namespace {

bool Parse(const std::vector<std::string>& arguments, Options& options, std::string& error) {
  std::vector<std::string> words = {"sumbrel"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  return ParseCommandLine(int(words.size()), argv.data(), options, error);
}

TEST(HostCommandLine, EveryUsageErrorHasItsReason) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-j", "0", "compress", "a.mp3"}, "-j needs a number of jobs from 1 to 1024, not '0'"},
      {{"-j", "1025", "compress", "a.mp3"}, "-j needs a number of jobs from 1 to 1024, not '1025'"},
      {{"-j", "2x", "compress", "a.mp3"}, "-j needs a number of jobs from 1 to 1024, not '2x'"},
      {{"compress", "-o", "", "a.mp3"}, "-o needs a file name"},
      {{"compress", "a.mp3", "-j"}, "option '-j' needs a value"},
      {{"-z", "compress", "a.mp3"}, "unknown option '-z'"},
      {{"--zip", "compress", "a.mp3"}, "unknown option '--zip'"},
      {{}, "no command given"},
      {{"pack", "a.mp3"}, "unknown command 'pack'"},
      {{"compress"}, "compress: no files given"},
      {{"test", "-o", "x", "a.sbk"}, "test writes no files, so -o does not apply"},
      {{"info", "-o", "x", "a.sbk"}, "info writes no files, so -o does not apply"},
      {{"compress", "-o", "x", "a.mp3", "b.mp3"}, "-o names the output of a single input, but 2 files were given"},
      {{"restore", "--verify", "a.sbk"}, "--verify applies to compress only"},
      {{"compress", "--format", "3", "a.mp3"}, "--format needs 1 or 2, not '3'"},
      {{"compress", "--format=02", "a.mp3"}, "--format needs 1 or 2, not '02'"},
      {{"compress", "a.mp3", "--format"}, "option '--format' needs a value"},
      {{"test", "--format", "1", "a.sbk"},
       "--format applies to compress only (the other commands read the format from each file)"},
      {{"test", "-f", "a.sbk"}, "test writes no files, so -f, -c and --rm do not apply"},
      {{"info", "--rm", "a.sbk"}, "info writes no files, so -f, -c and --rm do not apply"},
      {{"info", "-q", "d"}, "info prints what it finds, so -q does not apply"},
      {{"test", "--skip-existing", "a.sbk"}, "--skip-existing applies to compress and restore only"},
      {{"restore", "-f", "--skip-existing", "a.sbk"},
       "-f replaces existing outputs and --skip-existing keeps them: choose one"},
      {{"compress", "-c", "-o", "x", "a.mp3"}, "-c writes to standard output, so -o does not apply"},
      {{"compress", "-c", "a.mp3", "b.mp3"}, "standard output takes the output of a single input file"},
      {{"compress", "-c", "-r", "d"}, "standard output takes the output of a single input file"},
      {{"test", "-", "a.sbk"}, "standard input ('-') is the only input when it is given"},
      {{"compress", "-o", "x", "-r", "-"}, "standard input ('-') is the only input when it is given"},
      {{"compress", "--rm", "-c", "a.mp3"}, "--rm keeps nothing but the output file, so it does not go with -c or '-'"},
      {{"compress", "-r", "-o", "x", "d"}, "-o names the output of a single input, so it does not go with -r"},
  };
  for (const auto& [arguments, reason] : cases) {
    Options options;
    std::string error;
    EXPECT_FALSE(Parse(arguments, options, error)) << reason;
    EXPECT_EQ(error, reason);
  }
  // Sound lines say what they mean, with what they imply.
  Options options;
  std::string error;
  ASSERT_TRUE(Parse({"restore", "-j", "3", "-f", "-o", "x", "a.sbk"}, options, error)) << error;
  EXPECT_EQ(options.action, Action::Restore);
  EXPECT_EQ(options.jobs, 3);
  EXPECT_TRUE(options.force);
  EXPECT_EQ(options.output, "x");
  EXPECT_EQ(options.files, std::vector<std::string>{"a.sbk"});
  Options formats[2];
  ASSERT_TRUE(Parse({"compress", "a.mp3"}, formats[0], error)) << error;
  ASSERT_TRUE(Parse({"compress", "--format", "1", "a.mp3"}, formats[1], error)) << error;
  EXPECT_EQ(formats[0].format, 2);
  EXPECT_EQ(formats[1].format, 1);
  Options implied;
  ASSERT_TRUE(Parse({"compress", "--rm", "a.mp3"}, implied, error)) << error;
  EXPECT_TRUE(implied.verify);
  EXPECT_GE(implied.jobs, 1);
  Options piped;
  ASSERT_TRUE(Parse({"restore", "-"}, piped, error)) << error;
  EXPECT_TRUE(piped.toStdout);
}

std::string Word(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = char(value >> (8 * i));
  return bytes;
}

TEST(HostPlan, RefusesWhatCannotRunBeforeAnyWork) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "a.mp3", "frames");
  testsupport::WriteFile(dir / "b.MP3", "frames");
  testsupport::WriteFile(dir / "b.MP3.sbk", "old");
  testsupport::WriteFile(dir / "empty.mp3", "");
  testsupport::WriteFile(dir / "notes.txt", "text");
  testsupport::WriteFile(dir / "song.mp3.sbk", Word(STORED_MAGIC) + "xyz");
  testsupport::WriteFile(dir / "stored", Word(STORED_MAGIC) + "xyz");
  testsupport::WriteFile(dir / "short.sbk", Word(MODEL_MAGIC) + Word(100));
  // Format 2, model-coded: model, 64-bit length, frames, two checksums.
  const std::string model2 = Word(MODEL2_MAGIC) + Word(2) + Word(100) + Word(0) + Word(9) + Word(1) + Word(2);
  testsupport::WriteFile(dir / "cut2.sbk", model2.substr(0, 27));
  testsupport::WriteFile(dir / "later.sbk", Word(MODEL2_MAGIC) + Word(3) + model2.substr(8) + "coded");
  testsupport::WriteFile(dir / "grown.sbk", Word(STORED2_MAGIC) + Word(3) + Word(0) + Word(7) + "xyz!");
  ASSERT_EQ(mkdir((dir / "sub").c_str(), 0700), 0);
  ASSERT_EQ(mkfifo((dir / "pipe.mp3").c_str(), 0600), 0);

  JobPlanner compress{false, false, false, false, false, "", {}, {}};
  FileJob job;
  EXPECT_EQ(compress.Plan(dir / "a.mp3", job), "");
  EXPECT_EQ(job.output, dir / "a.mp3.sbk");
  EXPECT_EQ(job.workBytes, 6);
  EXPECT_EQ(compress.Plan(dir / "a.mp3", job), "the output " + (dir / "a.mp3.sbk") +
                                                   " is also the output of an earlier file");
  EXPECT_EQ(compress.Plan(dir / "b.MP3", job), "the output " + (dir / "b.MP3.sbk") + " already exists (-f replaces it)");
  EXPECT_EQ(compress.Plan(dir / "empty.mp3", job), "is empty, so there is nothing to compress");
  EXPECT_EQ(compress.Plan(dir / "notes.txt", job), "is not named *.mp3 (in any case), so it is not taken");
  EXPECT_EQ(compress.Plan(dir / "sub", job), "is a folder (-r takes the files in it)");
  EXPECT_EQ(compress.Plan(dir / "pipe.mp3", job), "is not a regular file");
  EXPECT_EQ(compress.Plan(dir / "missing.mp3", job).rfind("cannot open", 0), 0u);
  JobPlanner forced{false, false, true, true, false, "", {}, {}};
  EXPECT_EQ(forced.Plan(dir / "b.MP3", job), "");
  EXPECT_EQ(job.workBytes, 12) << "verifying reads the file twice";
  JobPlanner skipping{false, false, false, false, false, "", {}, {}, true};
  EXPECT_EQ(skipping.Plan(dir / "b.MP3", job), JobPlanner::kSkipped);
  // A sparse file past format 1's 32-bit length: only format 2 records it.
  testsupport::WriteFile(dir / "long.mp3", "");
  ASSERT_EQ(truncate((dir / "long.mp3").c_str(), off_t(1) << 31), 0);
  JobPlanner formatOne{false, false, false, false, false, "", {}, {}, false, 1};
  EXPECT_EQ(formatOne.Plan(dir / "long.mp3", job),
            "is larger than 2147483647 bytes, the most format 1 can record (format 2 takes it)");
  EXPECT_EQ(compress.Plan(dir / "long.mp3", job), "");
  EXPECT_EQ(job.format, 2);

  JobPlanner restore{true, false, false, false, false, "", {}, {}};
  EXPECT_EQ(restore.Plan(dir / "song.mp3.sbk", job), "");
  EXPECT_EQ(job.output, dir / "song.mp3");
  EXPECT_EQ(job.header.form, PackedForm::Stored);
  EXPECT_EQ(restore.Plan(dir / "a.mp3", job), "not a compressed file (it does not start with a sumbrel magic word)");
  EXPECT_EQ(restore.Plan(dir / "stored", job),
            "is not named *.sbk, so it gives no name for the restored file; name it with -o");
  EXPECT_EQ(restore.Plan(dir / "short.sbk", job), "damaged compressed file: only 8 bytes, shorter than its 16-byte header");
  EXPECT_EQ(restore.Plan(dir / "cut2.sbk", job), "damaged compressed file: only 27 bytes, shorter than its 28-byte header");
  EXPECT_EQ(restore.Plan(dir / "later.sbk", job), "made by a later version of sumbrel, or damaged: its header "
                                                   "names model 3, and this version knows model 2 only");
  EXPECT_EQ(restore.Plan(dir / "grown.sbk", job),
            "damaged compressed file: 20 bytes, where a stored file of the recorded 3 bytes takes 19");

  JobPlanner test{false, true, false, false, false, "", {}, {}};
  EXPECT_EQ(test.Plan(dir / "stored", job), "");
  EXPECT_EQ(job.output, "") << "a test writes nothing";
  EXPECT_TRUE(job.restore && job.test);
}

// Each field set apart from its default, so that one left out of the wire shows; a field added
// to FileJob belongs here too.
TEST(HostJobWire, EveryFieldRoundTripsAndNothingElseDecodes) {
  FileJob job;
  job.input = "12:in:put";
  job.output = "";
  job.inputName = "n\xC3\xA4me";
  job.outputName = "0:";
  job.workFolder = "/w";
  job.linkFolder = "/l";
  job.restore = job.test = job.force = job.verify = job.removeInput = true;
  job.keepAttributes = false;
  job.format = 1;
  job.header = {PackedForm::Stored, 2, 123, -5, 7, false, 3, 0xFFFFFFFF};
  job.workBytes = int64_t(1) << 40;
  const std::string bytes = EncodeJob(job);
  FileJob back;
  ASSERT_TRUE(DecodeJob(bytes, back));
  EXPECT_TRUE(back == job);
  for (size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(DecodeJob(bytes.substr(0, n), back)) << n;
  EXPECT_FALSE(DecodeJob(bytes + "0:", back));
  EXPECT_FALSE(DecodeJob("x" + bytes, back));
}

}  // namespace
