// Runs each file's job in a child process of its own, a given number at once, and prints one
// line per file as the jobs end: the summary on standard output, a failure on standard error.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "file_jobs.h"
#include "plugin_library.h"
#include "progress_bar.h"

struct PoolTally {
  int done = 0;
  int failed = 0;
  int notStarted = 0;  // left out after an interruption
  int64_t inBytes = 0, outBytes = 0;  // of the files done
  std::vector<std::pair<std::string, std::string>> failures;  // file and reason, in job order
};

// `bar` is null when standard error is not a terminal; `quiet` leaves out the summary lines.
PoolTally RunJobsInProcesses(const std::vector<FileJob>& jobs, int parallel,
                             const PluginLibrary& library, ProgressBar* bar, bool quiet);
