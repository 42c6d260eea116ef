#include "ProgramState.h"

#include <mutex>

TStream* Input = nullptr;
TStream* Output = nullptr;
std::unique_ptr<TMemoryStream> Store;
std::unique_ptr<TDataStore> DS;
std::unique_ptr<TInfo> Info;
std::vector<std::unique_ptr<TTask>> Task;
std::vector<std::unique_ptr<TMemoryStream>> Work;
std::vector<int32_t> Level;
std::atomic<int32_t> T1{-1};
std::atomic<int32_t> T2{-1};
std::atomic<int64_t> C{0};
std::unique_ptr<std::atomic<bool>[]> Completed;
int32_t CompletedCapacity = 0;
int32_t GroupCount = 0;
int64_t GroupTotal = 0;
int64_t GroupOffset = 0;
std::unique_ptr<TTask> Task2;
std::unique_ptr<TTask> Task3;

namespace {
std::atomic<bool> AbortFlag{false};
std::mutex AbortLock;
std::string FirstAbortMessage;
}  // namespace

void Abort(const std::string& Message) {
  {
    std::lock_guard Guard(AbortLock);
    if (FirstAbortMessage.empty()) FirstAbortMessage = Message;
  }
  AbortFlag.store(true, std::memory_order_release);
}

bool Aborted() { return AbortFlag.load(std::memory_order_acquire); }

std::string AbortMessage() {
  std::lock_guard Guard(AbortLock);
  return FirstAbortMessage;
}

void ClearAbort() {
  std::lock_guard Guard(AbortLock);
  FirstAbortMessage.clear();
  AbortFlag.store(false, std::memory_order_release);
}

uint8_t* GrowScratch(TMemoryStream& Buffer, int64_t Size) {
  if (Buffer.Size() < Size) Buffer.SetSize(Size);
  return Buffer.Memory();
}

void BeginMode(TStream& In, TStream& Out, int32_t Parameters) {
  Input = &In;
  Output = &Out;
  ClearAbort();
  Store = std::make_unique<TMemoryStream>();
  Info = std::make_unique<TInfo>(Parameters);
  CreateWorkers();
}

void RunWorkers(const TTask::TProc& Proc) {
  T1.store(-1);
  T2.store(-1);
  for (auto& Worker : Task) {
    Worker->Perform(Proc);
    Worker->Start();
  }
  WaitForAll(Task);
}

void CreateWorkers() {
  const int32_t Count = GetCPUCount();
  Task.clear();
  Work.clear();
  for (int32_t i = 0; i < Count; ++i) {
    Task.push_back(std::make_unique<TTask>());
    Work.push_back(std::make_unique<TMemoryStream>());
  }
  Level.assign(static_cast<size_t>(Count), 4);
}

void FreeWorkers() {
  Task.clear();  // each task lets its thread leave and joins it
  Work.clear();
  Level.clear();
}

void FreeState() {
  // Threads first: nothing may run while its buffers go away.
  Task2.reset();
  Task3.reset();
  FreeWorkers();
  DS.reset();
  Info.reset();
  Store.reset();
  Completed.reset();
  CompletedCapacity = 0;
  Input = nullptr;
  Output = nullptr;
}
