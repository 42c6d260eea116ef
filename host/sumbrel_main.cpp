// sumbrel: compresses MP3 files losslessly with the plug-in library beside it, restores them,
// and tells what a compressed file holds.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "command_line.h"
#include "file_jobs.h"
#include "input_files.h"
#include "packed_header.h"
#include "plugin_library.h"
#include "worker_pool.h"

namespace {

const char kVersion[] = "sumbrel 1.0.0";

void OnSignal(int) { g_interrupted = 1; }

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // A closed terminal or session stops the command as Ctrl-C does, so that the jobs clean up.
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(signal, &action, nullptr);
  // A reader that goes away makes writes to standard output fail, which is reported, rather
  // than end the command before it cleans up.
  std::signal(SIGPIPE, SIG_IGN);
}

int Info(const std::vector<std::string>& files) {
  int failed = 0;
  for (const std::string& file : files) {
    PackedHeader header;
    std::string error;
    if (ReadPackedHeader(file, header, error)) error = HeaderDamage(header);
    if (!error.empty()) {
      std::fprintf(stderr, "sumbrel: %s: %s\n", file.c_str(), error.c_str());
      ++failed;
    } else {
      std::printf("%s: %s\n", file.c_str(), DescribeHeader(header).c_str());
    }
  }
  return failed ? 1 : 0;
}

// A private folder for what a command keeps out of the user's folders (standard input
// spooled to a file, an output on its way to standard output, the restores of `test`, the
// links with names the library takes),
// removed with everything in it when the command ends, also after a failure or an interrupt.
class ScratchFolder {
 public:
  bool Create(std::string& error) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/sumbrel-XXXXXX";
    if (!mkdtemp(pattern.data())) {
      error = "cannot create a temporary folder in " + FolderOf(pattern) + ": " + std::strerror(errno);
      return false;
    }
    path_ = pattern;
    return true;
  }
  ~ScratchFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Copies all of `from` to `to` (file descriptors); false with the reason on a failure.
bool CopyAll(int from, int to, std::string& error) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t n = read(from, buffer.data(), buffer.size());
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR && !g_interrupted) continue;
      error = g_interrupted ? "interrupted" : std::string("read failed: ") + std::strerror(errno);
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(to, buffer.data() + done, size_t(n - done));
      if (w < 0) {
        if (errno == EINTR && !g_interrupted) continue;
        error = g_interrupted ? "interrupted" : std::string("write failed: ") + std::strerror(errno);
        return false;
      }
      done += w;
    }
  }
}

bool SpoolStandardInput(const std::string& path, std::string& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot spool standard input: " + std::string(std::strerror(errno));
    return false;
  }
  const bool ok = CopyAll(STDIN_FILENO, fd, error);
  return close(fd) == 0 && ok;
}

bool SendToStandardOutput(const std::string& path, std::string& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot read the output back: " + std::string(std::strerror(errno));
    return false;
  }
  const bool ok = CopyAll(fd, STDOUT_FILENO, error);
  close(fd);
  return ok;
}

void PrintTotals(const Options& options, const PoolTally& tally, int failed, double seconds) {
  // The MP3 side is the larger one; the saved share is what the compressed side saves of it.
  const bool compress = options.action == Action::Compress;
  const int64_t mp3 = compress ? tally.inBytes : tally.outBytes;
  const int64_t packed = compress ? tally.outBytes : tally.inBytes;
  std::printf("%d file%s done, %d failed; %" PRId64 " bytes in, %" PRId64
              " bytes out, saved %.2f%%; %.2f s, %.2f MB/s\n",
              tally.done, tally.done == 1 ? "" : "s", failed, tally.inBytes, tally.outBytes,
              SavedPercent(mp3, packed), seconds, seconds > 0 ? double(mp3) / 1e6 / seconds : 0.0);
}

int CompressOrRestore(Options options) {
  const double start = MonotonicSeconds();
  const bool compress = options.action == Action::Compress;
  const bool test = options.action == Action::Test;
  const bool fromStdin = options.files.size() == 1 && options.files[0] == "-";
  if (options.toStdout && isatty(STDOUT_FILENO)) {
    std::fprintf(stderr, "sumbrel: standard output is a terminal; %s data is not written there "
                 "(redirect it, or name the output with -o)\n", compress ? "compressed" : "MP3");
    return 1;
  }
  if (fromStdin && isatty(STDIN_FILENO)) {
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
  RememberUmask();
  CatchInterrupts();
  ScratchFolder scratch;
  if (!scratch.Create(error)) {
    std::fprintf(stderr, "sumbrel: %s\n", error.c_str());
    return 1;
  }
  if (fromStdin) {
    options.files[0] = scratch.path() + (compress ? "/stdin.mp3" : "/stdin.sbk");
    if (!SpoolStandardInput(options.files[0], error)) {
      std::fprintf(stderr, "sumbrel: standard input: %s\n", error.c_str());
      return g_interrupted ? 130 : 1;
    }
  }

  const InputList inputs = ExpandInputs(options.files, options.recursive, compress ? ".mp3" : ".sbk");
  int failed = 0;
  for (const auto& [path, reason] : inputs.errors) {
    std::fprintf(stderr, "sumbrel: %s: %s\n", path.c_str(), reason.c_str());
    ++failed;
  }
  JobPlanner planner{options.action == Action::Restore, test, options.force, options.verify,
                     options.removeInput, options.output, scratch.path(), {}, {}};
  for (const std::string& file : inputs.files) {
    struct stat status {};
    if (stat(file.c_str(), &status) == 0) planner.inputs.insert({status.st_dev, status.st_ino});
  }
  std::vector<FileJob> jobs;
  int64_t totalBytes = 0;
  for (const std::string& file : inputs.files) {
    FileJob job;
    if (options.toStdout) planner.explicitOutput = scratch.path() + "/stdout";
    const std::string reason = planner.Plan(file, job);
    if (fromStdin) {
      job.inputName = "standard input";
      job.keepAttributes = false;
    }
    if (!reason.empty()) {
      std::fprintf(stderr, "sumbrel: %s: %s\n", job.inputName.c_str(), reason.c_str());
      ++failed;
      continue;
    }
    if (options.toStdout) job.outputName = "standard output";
    job.linkFolder = scratch.path();
    totalBytes += job.workBytes;
    jobs.push_back(std::move(job));
  }

  std::unique_ptr<ProgressBar> bar;
  if (isatty(STDERR_FILENO) && !options.quiet)
    bar = std::make_unique<ProgressBar>(STDERR_FILENO, totalBytes);
  // Standard output carries the data itself with -c, so no summary line goes there.
  const bool quietLines = options.quiet || options.toStdout;
  const int parallel = std::min<int>(options.jobs, std::max<int>(int(jobs.size()), 1));
  const PoolTally tally = RunJobsInProcesses(jobs, parallel, library, bar.get(), quietLines);
  failed += tally.failed;
  if (g_interrupted) {
    std::fprintf(stderr, "sumbrel: interrupted; %d file(s) not started\n", tally.notStarted);
    return 130;
  }
  if (options.toStdout && tally.done == 1 && !SendToStandardOutput(jobs[0].output, error)) {
    std::fprintf(stderr, "sumbrel: standard output: %s\n", error.c_str());
    return g_interrupted ? 130 : 1;
  }
  if (!quietLines && inputs.files.size() + inputs.errors.size() > 1)
    PrintTotals(options, tally, failed, MonotonicSeconds() - start);
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
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
      return Info(options.files);
    case Action::Compress:
    case Action::Restore:
    case Action::Test:
      break;
  }
  return CompressOrRestore(options);
}
