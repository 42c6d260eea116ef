// A job's process of its own: started, listened to, stopped and waited for. Implemented once
// per system (processes_*.cpp); the pool in worker_pool.cpp sees only this.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "file_jobs.h"
#include "plugin_library.h"

// How a job's process reaches its parent: whole messages, in order.
class JobChannel {
 public:
  virtual void Send(const void* bytes, size_t count) = 0;

 protected:
  ~JobChannel() = default;
};

// What a job's process does, on every system (job_child.cpp).
void RunJobHere(const FileJob& job, const PluginLibrary& library, JobChannel& channel);

struct JobProcess;

// Starts a process that runs `job` (its workFolder set) through RunJobHere. Null with the
// reason in `error` when it cannot be started.
JobProcess* StartJobProcess(const FileJob& job, const PluginLibrary& library, std::string& error);
// Waits up to `milliseconds` until a process has something to read or has ended; returns
// those processes' indexes in `processes`.
std::vector<size_t> WaitForJobProcesses(const std::vector<JobProcess*>& processes, int milliseconds);
// Reads what the process sent: the byte count, 0 once it has ended and all is read, or -1 when
// nothing is there yet.
int64_t ReadJobProcess(JobProcess* process, char* buffer, size_t size);
// Passes an interruption on, so that the job deletes its partial output.
void StopJobProcess(JobProcess* process);
// Waits for the process to end and releases it; returns how it ended, for when it sent no
// result.
std::string FinishJobProcess(JobProcess* process);

// On systems that start a job's process as a new run of this program, runs the job when this
// run is one and returns its exit code; else returns -1.
int RunAsJobProcess(int argc, char** argv);
