// A job's process is a new run of this program with kJobSwitch as its only argument. The job
// reaches it through its standard input; its messages come back through its standard output.
// The input pipe stays open while the job runs: when the parent closes it, the job stops.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host_os.h"
#include "job_process.h"
#include "job_wire.h"
#include "program_path.h"
#include "whole_transfers.h"

struct JobProcess {
  HANDLE process = nullptr;
  HANDLE messages = nullptr;  // read end of the child's standard output
  HANDLE job = nullptr;       // write end of the child's standard input
};

namespace {

const char kJobSwitch[] = "--sumbrel-job-process";

class PipeChannel final : public JobChannel {
 public:
  explicit PipeChannel(HANDLE pipe) : pipe_(pipe) {}
  void Send(const void* bytes, size_t count) override { platform::WriteAll(pipe_, bytes, count); }

 private:
  HANDLE pipe_;
};

// Anything on the job pipe after the job, or its end, asks the job to stop.
DWORD WINAPI WatchJobPipe(void* pipe) {
  char byte;
  DWORD n = 0;
  ReadFile(static_cast<HANDLE>(pipe), &byte, 1, &n, nullptr);
  g_interrupted = 1;
  return 0;
}

void Close(HANDLE& handle) {
  if (handle) CloseHandle(handle);
  handle = nullptr;
}

}  // namespace

JobProcess* StartJobProcess(const FileJob& job, const PluginLibrary&, std::string& error) {
  // The child's ends are inherited; the parent's ends are not, so that a child never holds
  // another job's pipe open.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE jobRead = nullptr, jobWrite = nullptr, messageRead = nullptr, messageWrite = nullptr;
  if (!CreatePipe(&jobRead, &jobWrite, &inherit, 0)) {
    error = "cannot create a pipe: " + HostOs::LastReason();
    return nullptr;
  }
  if (!CreatePipe(&messageRead, &messageWrite, &inherit, 0)) {
    error = "cannot create a pipe: " + HostOs::LastReason();
    Close(jobRead);
    Close(jobWrite);
    return nullptr;
  }
  SetHandleInformation(jobWrite, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(messageRead, HANDLE_FLAG_INHERIT, 0);
  HANDLE errors = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(),
                  &errors, 0, TRUE, DUPLICATE_SAME_ACCESS);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = jobRead;
  startup.hStdOutput = messageWrite;
  startup.hStdError = errors;
  // A program path holds no quotes on Windows, so quoting it is enough. When the path cannot
  // be had it stays empty, and CreateProcess fails with the system's reason.
  std::string program, unknown;
  platform::ProgramPath(program, unknown);
  std::string command = "\"" + program + "\" " + kJobSwitch;
  PROCESS_INFORMATION started{};
  std::fflush(stdout);
  std::fflush(stderr);
  const BOOL ok = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &startup, &started);
  const std::string reason = ok ? "" : HostOs::LastReason();
  Close(jobRead);
  Close(messageWrite);
  Close(errors);
  if (!ok) {
    error = "cannot start a worker process: " + reason;
    Close(jobWrite);
    Close(messageRead);
    return nullptr;
  }
  CloseHandle(started.hThread);
  const std::string bytes = EncodeJob(job);
  const uint32_t length = uint32_t(bytes.size());
  // A child that cannot take its job ends without a result, which is reported then.
  if (platform::WriteAll(jobWrite, &length, sizeof length))
    platform::WriteAll(jobWrite, bytes.data(), bytes.size());
  return new JobProcess{started.hProcess, messageRead, jobWrite};
}

std::vector<size_t> WaitForJobProcesses(const std::vector<JobProcess*>& processes, int milliseconds) {
  // Anonymous pipes cannot be waited on, so they are looked at every few milliseconds.
  std::vector<size_t> ready;
  const ULONGLONG end = GetTickCount64() + ULONGLONG(milliseconds);
  for (;;) {
    for (size_t i = 0; i < processes.size(); ++i) {
      DWORD available = 0;
      if (!PeekNamedPipe(processes[i]->messages, nullptr, 0, nullptr, &available, nullptr) ||
          available > 0)
        ready.push_back(i);
    }
    if (!ready.empty() || GetTickCount64() >= end) return ready;
    Sleep(5);
  }
}

int64_t ReadJobProcess(JobProcess* process, char* buffer, size_t size) {
  DWORD available = 0;
  if (!PeekNamedPipe(process->messages, nullptr, 0, nullptr, &available, nullptr)) return 0;
  if (available == 0) return -1;
  DWORD n = 0;
  if (!ReadFile(process->messages, buffer, DWORD(std::min<size_t>(size, available)), &n, nullptr))
    return 0;
  return n;
}

void StopJobProcess(JobProcess* process) { Close(process->job); }

std::string FinishJobProcess(JobProcess* process) {
  Close(process->job);
  Close(process->messages);
  WaitForSingleObject(process->process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process->process, &code);
  CloseHandle(process->process);
  delete process;
  return "the worker process ended without a result (exit code " + std::to_string(code) + ")";
}

int RunAsJobProcess(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], kJobSwitch) != 0) return -1;
  HostOs::CatchInterrupts();
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  uint32_t length = 0;
  if (!platform::ReadAll(in, &length, sizeof length) || length > (1u << 20)) return 3;
  std::string bytes(length, '\0');
  FileJob job;
  if (!platform::ReadAll(in, bytes.data(), length) || !DecodeJob(bytes, job)) return 3;
  HANDLE watcher = CreateThread(nullptr, 0, WatchJobPipe, in, 0, nullptr);
  if (watcher) CloseHandle(watcher);
  PluginLibrary library;
  std::string error;
  if (!LoadPluginLibrary(library, error)) return 4;
  PipeChannel channel(GetStdHandle(STD_OUTPUT_HANDLE));
  RunJobHere(job, library, channel);
  // The parent's job pipe may still be open; the watcher ends with the process.
  ExitProcess(0);
}
