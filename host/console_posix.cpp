#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include "host_os.h"
#include "whole_transfers.h"

namespace HostOs {

namespace {

// A display that cannot be written is not worth failing over.
void Show(const std::string& text) { (void)platform::WriteAll(STDERR_FILENO, text.data(), text.size()); }

// Copies all of `from` to `to` (file descriptors); false with the reason on a failure.
bool CopyAll(int from, int to, std::string& error) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t n = read(from, buffer.data(), buffer.size());
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR && !g_interrupted) continue;
      error = g_interrupted ? "interrupted" : std::string("read failed: ") + std::strerror(errno);
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(to, buffer.data() + done, size_t(n - done));
      if (w < 0) {
        if (errno == EINTR && !g_interrupted) continue;
        error = g_interrupted ? "interrupted" : std::string("write failed: ") + std::strerror(errno);
        return false;
      }
      done += w;
    }
  }
}

void OnSignal(int) { g_interrupted = 1; }

}  // namespace

bool IsTerminal(Stream stream) {
  return isatty(stream == Stream::Input ? STDIN_FILENO
                : stream == Stream::Output ? STDOUT_FILENO
                                           : STDERR_FILENO);
}

int TerminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 40) return size.ws_col;
  return 80;
}

void ShowStatusLine(const std::string& line) { Show("\r" + line + "\x1b[K"); }

void ClearStatusLine() { Show("\r\x1b[K"); }

bool SpoolStandardInput(const std::string& path, std::string& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot spool standard input: " + std::string(std::strerror(errno));
    return false;
  }
  const bool ok = CopyAll(STDIN_FILENO, fd, error);
  return close(fd) == 0 && ok;
}

bool SendToStandardOutput(const std::string& path, std::string& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot read the output back: " + std::string(std::strerror(errno));
    return false;
  }
  const bool ok = CopyAll(fd, STDOUT_FILENO, error);
  close(fd);
  return ok;
}

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // A closed terminal or session stops the command as Ctrl-C does, so that the jobs clean up.
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(signal, &action, nullptr);
  // A reader that goes away makes writes to standard output fail, which is reported, rather
  // than end the command before it cleans up.
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace HostOs
