// sumbrel: compresses MP3 files losslessly with the plug-in library beside it, restores them,
// and tells what a compressed file holds.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "command_line.h"
#include "file_jobs.h"
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
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
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

int CompressOrRestore(const Options& options) {
  PluginLibrary library;
  std::string error;
  if (!LoadPluginLibrary(library, error)) {
    std::fprintf(stderr, "sumbrel: %s\n", error.c_str());
    return 1;
  }
  // This process only asks the module about names; the jobs run in child processes.
  Module* module = library.getModule(0);
  if (!module) {
    std::fprintf(stderr, "sumbrel: the library could not create its module (out of memory)\n");
    return 1;
  }
  JobPlanner planner{*module, options.action == Action::Restore, options.force, options.verify,
                     options.output, {}, {}};
  for (const std::string& file : options.files) {
    struct stat status {};
    if (stat(file.c_str(), &status) == 0) planner.inputs.insert({status.st_dev, status.st_ino});
  }
  int failed = 0;
  std::vector<FileJob> jobs;
  int64_t totalBytes = 0;
  for (const std::string& file : options.files) {
    FileJob job;
    const std::string reason = planner.Plan(file, job);
    if (!reason.empty()) {
      std::fprintf(stderr, "sumbrel: %s: %s\n", file.c_str(), reason.c_str());
      ++failed;
      continue;
    }
    totalBytes += job.workBytes;
    jobs.push_back(std::move(job));
  }
  delete module;

  RememberUmask();
  CatchInterrupts();
  std::unique_ptr<ProgressBar> bar;
  if (isatty(STDERR_FILENO)) bar = std::make_unique<ProgressBar>(STDERR_FILENO, totalBytes);
  const int parallel = std::min<int>(options.jobs, std::max<int>(int(jobs.size()), 1));
  const PoolTally tally = RunJobsInProcesses(jobs, parallel, library, bar.get());
  failed += tally.failed;
  if (g_interrupted) {
    std::fprintf(stderr, "sumbrel: interrupted; %d file(s) not started\n", tally.notStarted);
    return 130;
  }
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
      break;
  }
  return CompressOrRestore(options);
}
