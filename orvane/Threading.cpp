#include "Threading.h"

#include <string>
#include <system_error>

#include "os/Os.h"
#include "processors.h"

namespace {
constexpr size_t StackSize = 0x400000;
}

void SleepMs(int32_t Milliseconds) { Os::SleepMs(Milliseconds); }

int32_t GetCPUCount() { return platform::UsableProcessors(); }

TTask::TTask() = default;

TTask::~TTask() {
  // A run that was started still happens, even if its thread has not picked
  // it up yet; its error, if any, has nobody left to go to.
  while (FStatus.load(std::memory_order_acquire) == tsRunning) SleepMs(1);
  FStatus.store(tsTerminated, std::memory_order_release);
  Os::TThread* Thread;
  {
    // Not held across the join: the ending run may still need the lock.
    std::lock_guard Guard(FLock);
    Thread = FThread;
  }
  if (Thread != nullptr) Os::JoinThread(Thread);
}

void TTask::Perform(TProc Proc) {
  std::lock_guard Guard(FLock);
  FProc = std::move(Proc);
}

void TTask::Start() {
  // Only the step Ready/Paused -> Running belongs to Start, and only the step
  // Running -> Paused to the thread, each by compare-and-set: a Start can
  // neither be lost under the end of the previous run nor fold into it.
  for (;;) {
    TThreadStatus Seen = FStatus.load(std::memory_order_acquire);
    if (Seen == tsTerminated) return;
    if (Seen == tsRunning) {
      SleepMs(1);
      continue;
    }
    if (FStatus.compare_exchange_weak(Seen, tsRunning, std::memory_order_acq_rel)) break;
  }
  std::lock_guard Guard(FLock);
  if (FThread != nullptr) return;
  int Error = 0;
  FThread = Os::StartThread(&TTask::ThreadMain, this, StackSize, Error);
  if (FThread == nullptr) {
    FStatus.store(tsReady, std::memory_order_release);
    throw std::system_error(Error, std::generic_category(), "cannot create worker thread");
  }
}

void TTask::Wait() {
  while (FStatus.load(std::memory_order_acquire) == tsRunning) SleepMs(1);
  std::exception_ptr Error;
  {
    std::lock_guard Guard(FLock);
    std::swap(Error, FError);
  }
  if (Error) std::rethrow_exception(Error);
}

void TTask::ThreadMain(void* Self) { static_cast<TTask*>(Self)->Execute(); }

void TTask::Execute() {
  for (;;) {
    TThreadStatus Seen = FStatus.load(std::memory_order_acquire);
    if (Seen == tsTerminated) return;
    if (Seen != tsRunning) {
      SleepMs(1);
      continue;
    }
    TProc Proc;
    {
      std::lock_guard Guard(FLock);
      Proc = FProc;
    }
    std::exception_ptr Error;
    try {
      if (Proc) Proc();
    } catch (...) {
      Error = std::current_exception();
    }
    if (Error) {
      std::lock_guard Guard(FLock);
      FError = Error;
    }
    // Fails only when the task is being destroyed; the loop then ends.
    TThreadStatus Expected = tsRunning;
    FStatus.compare_exchange_strong(Expected, tsPaused, std::memory_order_acq_rel);
  }
}

namespace {
template <typename Range>
void WaitForEach(const Range& Tasks) {
  std::exception_ptr First;
  for (const auto& T : Tasks) {
    try {
      T->Wait();
    } catch (...) {
      if (!First) First = std::current_exception();
    }
  }
  if (First) std::rethrow_exception(First);
}
}  // namespace

void WaitForAll(const std::vector<std::unique_ptr<TTask>>& Tasks) { WaitForEach(Tasks); }
void WaitForAll(const std::vector<TTask*>& Tasks) { WaitForEach(Tasks); }
