// One file's job as it runs in a process of its own (the library allows one job per process):
// the library's call, the checks of its result, the verifying pass and the final rename.
#pragma once
#include <cstdint>
#include <string>

#include "job_planner.h"
#include "packed_header.h"
#include "sumbrel.h"

// Where a running job's progress goes: MP3 bytes done so far within the job.
class JobProgress {
 public:
  virtual void Report(int64_t doneBytes) = 0;

 protected:
  ~JobProgress() = default;
};

// The library's listener for a job: counts the calls and passes the bytes on.
class JobListener final : public ProgressListener {
 public:
  void OnProgress(int totalBytes, int doneBytes, int codedBytes) override;

  Module* module = nullptr;
  JobProgress* progress = nullptr;
  int64_t base = 0;   // bytes of earlier passes of the same job
  int64_t calls = 0;  // since the start of the current pass
  int64_t lastDone = -1;  // doneBytes of the pass's last call: at its end, the restored length
};

struct JobResult {
  bool ok = false;
  std::string text;  // the summary line when ok, else the reason
  int64_t inBytes = 0, outBytes = 0;  // of a file done
};

JobResult RunJob(Module& module, JobListener& listener, const FileJob& job);
