#include "worker_pool.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "host_os.h"
#include "paths.h"
#include "job_messages.h"
#include "job_process.h"

namespace {

struct Worker {
  JobProcess* process = nullptr;
  std::string workFolder;  // the job's temporary files, removed whatever becomes of the job
  size_t job = 0;
  int64_t doneBytes = 0;
  bool finished = false;  // its Done message arrived
  bool ok = false;
  int64_t inBytes = 0, outBytes = 0;
  std::string text;
  std::string pending;  // bytes of a message not yet complete
};

// The job's temporary files go into a folder of its own beside the output (so that the final
// rename stays on one file system), which the parent removes when the job ends, however it
// ends: a job killed or crashed leaves nothing behind in the user's folder.
bool MakeWorkFolder(Worker& worker, const FileJob& job) {
  // A test writes nothing, so it needs no folder, and no room, anywhere.
  if (job.test) return true;
  std::string folder, reason;
  const std::string parent = platform::FolderOf(job.output);
  if (!HostOs::MakeUniqueFolder(parent + "/" + HostOs::kJobFolderPrefix, folder, reason)) {
    worker.text = "cannot write in the folder " + parent + ": " + reason;
    return false;
  }
  worker.workFolder = folder;
  return true;
}

void RemoveWorkFolder(Worker& worker) {
  if (worker.workFolder.empty()) return;
  HostOs::RemoveTree(worker.workFolder);
  worker.workFolder.clear();
}

bool Start(Worker& worker, const std::vector<FileJob>& jobs, const PluginLibrary& library) {
  if (!MakeWorkFolder(worker, jobs[worker.job])) return false;
  FileJob job = jobs[worker.job];
  job.workFolder = worker.workFolder;
  worker.process = StartJobProcess(job, library, worker.text);
  if (!worker.process) {
    RemoveWorkFolder(worker);
    return false;
  }
  return true;
}

// Reads what is there; returns false at the end of the pipe.
bool Drain(Worker& worker) {
  char buffer[sizeof(JobMessage) * 8];
  const int64_t n = ReadJobProcess(worker.process, buffer, sizeof buffer);
  if (n < 0) return true;
  if (n == 0) return false;
  worker.pending.append(buffer, size_t(n));
  while (worker.pending.size() >= sizeof(JobMessage)) {
    JobMessage message;
    std::memcpy(&message, worker.pending.data(), sizeof message);
    worker.pending.erase(0, sizeof message);
    if (message.kind == JobMessage::Progress) {
      worker.doneBytes = message.doneBytes;
    } else {
      message.text[sizeof message.text - 1] = '\0';
      worker.finished = true;
      worker.ok = message.ok != 0;
      worker.inBytes = message.inBytes;
      worker.outBytes = message.outBytes;
      worker.text = message.text;
    }
  }
  return true;
}

void PrintOutcome(const FileJob& job, bool ok, const std::string& text, ProgressBar* bar,
                  bool quiet) {
  if (ok && quiet) return;
  if (bar) bar->Clear();
  if (ok) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  } else {
    std::fprintf(stderr, "sumbrel: %s: %s\n", job.inputName.c_str(), text.c_str());
  }
}

}  // namespace

// Prints the outcomes in the order of the jobs, whatever order they end in, so that the
// output of a command is the same from run to run.
class OrderedOutcomes {
 public:
  OrderedOutcomes(const std::vector<FileJob>& jobs, ProgressBar* bar, bool quiet,
                  std::vector<std::pair<std::string, std::string>>& failures)
      : jobs_(jobs), bar_(bar), quiet_(quiet), failures_(failures), outcomes_(jobs.size()) {}
  void Add(size_t job, bool ok, const std::string& text) {
    outcomes_[job] = {true, ok, text};
    Print(false);
  }
  // After an interruption: what did end, past the jobs that never started.
  void Flush() { Print(true); }

 private:
  void Print(bool skipMissing) {
    for (; next_ < outcomes_.size(); ++next_) {
      const Outcome& outcome = outcomes_[next_];
      if (!outcome.ready) {
        if (skipMissing) continue;
        return;
      }
      PrintOutcome(jobs_[next_], outcome.ok, outcome.text, bar_, quiet_);
      if (!outcome.ok) failures_.push_back({jobs_[next_].inputName, outcome.text});
    }
  }

  struct Outcome {
    bool ready = false, ok = false;
    std::string text;
  };
  const std::vector<FileJob>& jobs_;
  ProgressBar* bar_;
  bool quiet_;
  std::vector<std::pair<std::string, std::string>>& failures_;
  std::vector<Outcome> outcomes_;
  size_t next_ = 0;
};

PoolTally RunJobsInProcesses(const std::vector<FileJob>& jobs, int parallel,
                             const PluginLibrary& library, ProgressBar* bar, bool quiet) {
  PoolTally tally;
  OrderedOutcomes outcomes(jobs, bar, quiet, tally.failures);
  std::vector<Worker> running;
  size_t next = 0;
  int64_t finishedBytes = 0;
  bool forwarded = false;
  parallel = std::max(parallel, 1);
  while (next < jobs.size() || !running.empty()) {
    while (!g_interrupted && next < jobs.size() && int(running.size()) < parallel) {
      Worker worker;
      worker.job = next++;
      if (Start(worker, jobs, library)) {
        running.push_back(std::move(worker));
      } else {
        ++tally.failed;
        finishedBytes += jobs[worker.job].workBytes;
        outcomes.Add(worker.job, false, worker.text);
      }
    }
    if (g_interrupted && !forwarded) {
      // An interrupt that reached this process alone must be passed on, so that each job
      // deletes its partial output.
      for (const Worker& worker : running) StopJobProcess(worker.process);
      forwarded = true;
    }
    if (running.empty()) break;
    std::vector<JobProcess*> processes;
    for (const Worker& worker : running) processes.push_back(worker.process);
    const std::vector<size_t> readyList = WaitForJobProcesses(processes, 100);
    const bool ready = !readyList.empty();
    // From the last, so that removing one leaves the indexes of the others as they were.
    for (auto it = readyList.rbegin(); it != readyList.rend(); ++it) {
      const size_t i = *it;
      Worker& worker = running[i];
      if (Drain(worker)) continue;
      const std::string exit = FinishJobProcess(worker.process);
      RemoveWorkFolder(worker);
      if (!worker.finished) worker.text = exit;
      if (!worker.finished || !worker.ok) {
        ++tally.failed;
      } else {
        ++tally.done;
        tally.inBytes += worker.inBytes;
        tally.outBytes += worker.outBytes;
      }
      finishedBytes += jobs[worker.job].workBytes;
      outcomes.Add(worker.job, worker.finished && worker.ok, worker.text);
      running.erase(running.begin() + long(i));
    }
    if (bar) {
      int64_t done = finishedBytes;
      for (const Worker& worker : running) done += worker.doneBytes;
      std::string names;
      if (!running.empty()) {
        names = jobs[running.back().job].inputName;
        if (running.size() > 1) names += " (+" + std::to_string(running.size() - 1) + " more)";
      }
      bar->Show(done, names, ready && running.empty());
    }
  }
  tally.notStarted = int(jobs.size() - next);
  outcomes.Flush();
  if (bar) bar->Clear();
  return tally;
}
