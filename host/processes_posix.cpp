#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "job_process.h"

struct JobProcess {
  pid_t pid = -1;
  int fd = -1;
};

namespace {

// Each message is written whole in one call (the pool's messages are smaller than PIPE_BUF),
// so it arrives whole.
class PipeChannel final : public JobChannel {
 public:
  explicit PipeChannel(int fd) : fd_(fd) {}
  void Send(const void* bytes, size_t count) override {
    while (write(fd_, bytes, count) < 0 && errno == EINTR) {
    }
  }

 private:
  int fd_;
};

std::string ExitDescription(int status) {
  if (WIFSIGNALED(status))
    return std::string("the worker process was killed by signal ") +
           std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
  return "the worker process ended without a result (exit code " +
         std::to_string(WEXITSTATUS(status)) + ")";
}

}  // namespace

JobProcess* StartJobProcess(const FileJob& job, const PluginLibrary& library, std::string& error) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error = std::string("cannot create a pipe: ") + std::strerror(errno);
    return nullptr;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) {
    error = std::string("cannot start a worker process: ") + std::strerror(errno);
    close(fds[0]);
    close(fds[1]);
    return nullptr;
  }
  if (pid == 0) {
    close(fds[0]);
    std::signal(SIGPIPE, SIG_IGN);
    // Whatever the library creates is private until the job gives the output its permissions.
    umask(077);
    PipeChannel channel(fds[1]);
    RunJobHere(job, library, channel);
    _exit(0);  // the parent's buffers and static objects are not the child's to flush
  }
  close(fds[1]);
  return new JobProcess{pid, fds[0]};
}

std::vector<size_t> WaitForJobProcesses(const std::vector<JobProcess*>& processes, int milliseconds) {
  std::vector<pollfd> polled;
  for (const JobProcess* process : processes) polled.push_back({process->fd, POLLIN, 0});
  std::vector<size_t> ready;
  if (poll(polled.data(), polled.size(), milliseconds) <= 0) return ready;
  for (size_t i = 0; i < polled.size(); ++i)
    if (polled[i].revents & (POLLIN | POLLHUP | POLLERR)) ready.push_back(i);
  return ready;
}

int64_t ReadJobProcess(JobProcess* process, char* buffer, size_t size) {
  const ssize_t n = read(process->fd, buffer, size);
  if (n < 0) return errno == EINTR || errno == EAGAIN ? -1 : 0;
  return n;
}

void StopJobProcess(JobProcess* process) {
  // A terminal's interrupt reaches the children itself; a signal sent to this process alone
  // must be passed on.
  kill(process->pid, SIGTERM);
}

std::string FinishJobProcess(JobProcess* process) {
  close(process->fd);
  int status = 0;
  while (waitpid(process->pid, &status, 0) < 0 && errno == EINTR) {
  }
  delete process;
  return ExitDescription(status);
}

int RunAsJobProcess(int, char**) { return -1; }
