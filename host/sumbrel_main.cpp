// sumbrel: compresses MP3 files losslessly with the plug-in library beside it, restores them,
// and tells what a compressed file holds.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "command_line.h"
#include "file_jobs.h"
#include "host_os.h"
#include "input_files.h"
#include "job_process.h"
#include "packed_header.h"
#include "plugin_library.h"
#include "worker_pool.h"

namespace {

const char kVersion[] = "sumbrel 1.0.0";

// Prints each file's header; with -r also the folders' files and the totals.
int Info(const Options& options) {
  const InputList inputs = ExpandInputs(options.files, options.recursive, ".sbk");
  int failed = 0, compressed = 0, plain = 0;
  int64_t original = 0, packed = 0;
  for (const auto& [path, reason] : inputs.errors) {
    std::fprintf(stderr, "sumbrel: %s: %s\n", path.c_str(), reason.c_str());
    ++failed;
  }
  for (const std::string& file : inputs.files) {
    PackedHeader header;
    std::string error;
    if (ReadPackedHeader(file, header, error)) error = HeaderDamage(header);
    if (!error.empty()) {
      std::fprintf(stderr, "sumbrel: %s: %s\n", file.c_str(), error.c_str());
      ++failed;
      continue;
    }
    std::printf("%s: %s\n", file.c_str(), DescribeHeader(header).c_str());
    if (header.form == PackedForm::NotCompressed) {
      ++plain;
    } else {
      ++compressed;
      original += header.originalSize;
      packed += header.fileSize;
    }
  }
  if (options.recursive)
    std::printf("%d compressed file%s, original %" PRId64 " bytes, compressed %" PRId64
                " bytes, saved %.2f%%; %d not compressed, %d failed\n",
                compressed, compressed == 1 ? "" : "s", original, packed, SavedPercent(original, packed),
                plain, failed);
  return failed ? 1 : 0;
}

// Ends a batch that had failures with the list of them, where they cannot scroll away.
void ListFailures(const std::vector<std::pair<std::string, std::string>>& failures, size_t files) {
  if (failures.empty() || files < 2) return;
  std::fprintf(stderr, "sumbrel: %zu of %zu files failed:\n", failures.size(), files);
  for (const auto& [file, reason] : failures) std::fprintf(stderr, "  %s: %s\n", file.c_str(), reason.c_str());
}

// A private folder for what a command keeps out of the user's folders (standard input
// spooled to a file, an output on its way to standard output, the links with names the
// library takes), removed with everything in it when the command ends, also after a failure or
// an interrupt.
class ScratchFolder {
 public:
  bool Create(std::string& error) {
    const std::string base = HostOs::TemporaryBase();
    std::string reason;
    if (!HostOs::MakeUniqueFolder(base + "/sumbrel-", path_, reason)) {
      error = "cannot create a temporary folder in " + base + ": " + reason;
      return false;
    }
    return true;
  }
  ~ScratchFolder() {
    if (!path_.empty()) HostOs::RemoveTree(path_);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void PrintTotals(const Options& options, const PoolTally& tally, int failed, int skipped, double seconds) {
  // The MP3 side is the larger one; the saved share is what the compressed side saves of it.
  const bool compress = options.action == Action::Compress;
  const int64_t mp3 = compress ? tally.inBytes : tally.outBytes;
  const int64_t packed = compress ? tally.outBytes : tally.inBytes;
  const std::string skips = skipped ? ", " + std::to_string(skipped) + " skipped" : "";
  std::printf("%d file%s done, %d failed%s; %" PRId64 " bytes in, %" PRId64
              " bytes out, saved %.2f%%; %.2f s, %.2f MB/s\n",
              tally.done, tally.done == 1 ? "" : "s", failed, skips.c_str(), tally.inBytes, tally.outBytes,
              SavedPercent(mp3, packed), seconds, seconds > 0 ? double(mp3) / 1e6 / seconds : 0.0);
}

int CompressOrRestore(Options options) {
  const double start = MonotonicSeconds();
  const bool compress = options.action == Action::Compress;
  const bool test = options.action == Action::Test;
  const bool fromStdin = options.files.size() == 1 && options.files[0] == "-";
  if (options.toStdout && HostOs::IsTerminal(HostOs::Stream::Output)) {
    std::fprintf(stderr, "sumbrel: standard output is a terminal; %s data is not written there "
                 "(redirect it, or name the output with -o)\n", compress ? "compressed" : "MP3");
    return 1;
  }
  if (fromStdin && HostOs::IsTerminal(HostOs::Stream::Input)) {
    std::fprintf(stderr, "sumbrel: standard input is a terminal; %s data is not read from "
                 "there (redirect it)\n", compress ? "MP3" : "compressed");
    return 1;
  }
  PluginLibrary library;
  std::string error;
  if (!LoadPluginLibrary(library, error)) {
    std::fprintf(stderr, "sumbrel: %s\n", error.c_str());
    return 1;
  }
  if (!library.getModuleOfFormat && (test || (compress && options.format == 2))) {
    std::fprintf(stderr, "sumbrel: %s\n", TooOldForFormat2(library).c_str());
    return 1;
  }
  HostOs::RememberCreationMask();
  HostOs::CatchInterrupts();
  // A test writes nothing, so a temporary folder that cannot be made (TMPDIR missing or full)
  // fails only the inputs that need it: standard input, and names the library does not take.
  ScratchFolder scratch;
  std::string scratchError;
  if (!scratch.Create(scratchError) && (!test || fromStdin)) {
    std::fprintf(stderr, "sumbrel: %s\n", scratchError.c_str());
    return 1;
  }
  if (fromStdin) {
    options.files[0] = scratch.path() + (compress ? "/stdin.mp3" : "/stdin.sbk");
    if (!HostOs::SpoolStandardInput(options.files[0], error)) {
      std::fprintf(stderr, "sumbrel: standard input: %s\n", error.c_str());
      return g_interrupted ? 130 : 1;
    }
  }

  const InputList inputs = ExpandInputs(options.files, options.recursive, compress ? ".mp3" : ".sbk");
  std::vector<std::pair<std::string, std::string>> failures(inputs.errors);
  for (const auto& [path, reason] : inputs.errors) std::fprintf(stderr, "sumbrel: %s: %s\n", path.c_str(), reason.c_str());
  int skipped = 0;
  JobPlanner planner{options.action == Action::Restore, test, options.force, options.verify,
                     options.removeInput, options.output, {}, {}, options.skipExisting, options.format};
  for (const std::string& file : inputs.files) {
    HostOs::FileStatus status;
    if (HostOs::Status(file, status)) planner.inputs.insert(status.identity);
  }
  std::vector<FileJob> jobs;
  int64_t totalBytes = 0;
  for (const std::string& file : inputs.files) {
    FileJob job;
    if (options.toStdout) planner.explicitOutput = scratch.path() + "/stdout";
    std::string reason = planner.Plan(file, job);
    if (reason.empty() && scratch.path().empty() && !file.ends_with(".sbk"))
      reason = "its name does not end in .sbk, as the library needs, and no link with such a name can be made: " +
               scratchError;
    if (fromStdin) {
      job.inputName = "standard input";
      job.keepAttributes = false;
    }
    if (reason == JobPlanner::kSkipped) {
      ++skipped;
      continue;
    }
    if (!reason.empty()) {
      std::fprintf(stderr, "sumbrel: %s: %s\n", job.inputName.c_str(), reason.c_str());
      failures.push_back({job.inputName, reason});
      continue;
    }
    if (options.toStdout) job.outputName = "standard output";
    job.linkFolder = scratch.path();
    totalBytes += job.workBytes;
    jobs.push_back(std::move(job));
  }

  std::unique_ptr<ProgressBar> bar;
  if (HostOs::IsTerminal(HostOs::Stream::Error) && !options.quiet)
    bar = std::make_unique<ProgressBar>(totalBytes);
  // Standard output carries the data itself with -c, so no summary line goes there.
  const bool quietLines = options.quiet || options.toStdout;
  const int parallel = std::min<int>(options.jobs, std::max<int>(int(jobs.size()), 1));
  const PoolTally tally = RunJobsInProcesses(jobs, parallel, library, bar.get(), quietLines);
  const int failed = int(failures.size()) + tally.failed;
  failures.insert(failures.end(), tally.failures.begin(), tally.failures.end());
  if (g_interrupted) {
    std::fprintf(stderr, "sumbrel: interrupted; %d file(s) not started\n", tally.notStarted);
    return 130;
  }
  if (options.toStdout && tally.done == 1 && !HostOs::SendToStandardOutput(jobs[0].output, error)) {
    std::fprintf(stderr, "sumbrel: standard output: %s\n", error.c_str());
    return g_interrupted ? 130 : 1;
  }
  const size_t files = inputs.files.size() + inputs.errors.size();
  if (!quietLines && files > 1) PrintTotals(options, tally, failed, skipped, MonotonicSeconds() - start);
  std::fflush(stdout);
  ListFailures(failures, files);
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int jobExit = RunAsJobProcess(argc, argv);
  if (jobExit >= 0) return jobExit;
  Options options;
  std::string error;
  if (!ParseCommandLine(argc, argv, options, error)) {
    std::fprintf(stderr, "sumbrel: %s\nTry 'sumbrel --help' for the usage.\n", error.c_str());
    return 2;
  }
  switch (options.action) {
    case Action::Help:
      std::fputs(kUsage, stdout);
      return 0;
    case Action::Version:
      std::printf("%s\n", kVersion);
      return 0;
    case Action::Info:
      return Info(options);
    case Action::Compress:
    case Action::Restore:
    case Action::Test:
      break;
  }
  return CompressOrRestore(options);
}
