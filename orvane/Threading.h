// Reusable worker tasks: one thread per task, created at the first Start and
// then kept idle between runs, so a block or group costs no thread creation.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace Os {
struct TThread;
}

enum TThreadStatus : int32_t { tsReady = 0, tsRunning = 1, tsPaused = 2, tsTerminated = 3 };

class TTask {
 public:
  using TProc = std::function<void()>;

  // The thread itself is only created by the first Start.
  TTask();
  // Lets a started run finish, then ends the thread and waits for it.
  ~TTask();
  TTask(const TTask&) = delete;
  TTask& operator=(const TTask&) = delete;

  // Takes effect at the next run.
  void Perform(TProc Proc);
  // Causes exactly one further run of the procedure. If the previous run has
  // not finished yet, Start waits for it first, so that a Start is never merged
  // into a run that is already under way. Safe to call from several threads.
  void Start();
  // Returns when no run is under way. If the last run ended with an exception,
  // Wait rethrows it (once) on the waiting thread.
  void Wait();

  TThreadStatus Status() const { return FStatus.load(std::memory_order_acquire); }

 private:
  static void ThreadMain(void* Self);
  void Execute();

  std::atomic<TThreadStatus> FStatus{tsReady};
  std::mutex FLock;  // guards FProc, FError and the thread's creation
  TProc FProc;
  std::exception_ptr FError;
  Os::TThread* FThread = nullptr;  // set once the thread exists
};

// Waits for every task in order, then rethrows the first error any of them
// reported: no task is left running when the caller goes on.
void WaitForAll(const std::vector<std::unique_ptr<TTask>>& Tasks);
void WaitForAll(const std::vector<TTask*>& Tasks);

// The number of processors this process may run on (at least 1).
int32_t GetCPUCount();

// Sleeps for the polling interval of the tasks and drivers.
void SleepMs(int32_t Milliseconds);
