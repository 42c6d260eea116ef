#include "progress_bar.h"

#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

double MonotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

namespace {

int TerminalColumns(int fd) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col >= 40) return size.ws_col;
  return 80;
}

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;  // a display that cannot be written is not worth failing over
    done += size_t(n);
  }
}

}  // namespace

ProgressBar::ProgressBar(int fd, int64_t totalBytes)
    : fd_(fd), total_(std::max<int64_t>(totalBytes, 1)), start_(MonotonicSeconds()) {}

void ProgressBar::Show(int64_t doneBytes, const std::string& name, bool now) {
  const double time = MonotonicSeconds();
  if (!now && lastDrawn_ >= 0 && time - lastDrawn_ < 0.1) return;
  lastDrawn_ = time;
  const double share = std::clamp(double(doneBytes) / double(total_), 0.0, 1.0);
  const int barWidth = 24;
  const int filled = int(share * barWidth);
  std::string bar = "\r[" + std::string(size_t(filled), '#') +
                    std::string(size_t(barWidth - filled), '-') + "]";
  char numbers[64];
  const double seconds = std::max(time - start_, 1e-3);
  std::snprintf(numbers, sizeof numbers, " %3d%% %8.2f MB/s  ", int(share * 100),
                double(doneBytes) / 1e6 / seconds);
  bar += numbers;
  // Keep the line short of the last column, where a terminal would wrap it.
  const int room = TerminalColumns(fd_) - 1 - int(bar.size() - 1);
  if (name.size() <= size_t(std::max(room, 0))) {
    bar += name;
  } else if (room > 8) {
    size_t cut = name.size() - size_t(room - 3);
    while (cut < name.size() && (name[cut] & 0xC0) == 0x80) ++cut;  // not inside a character
    bar += "..." + name.substr(cut);
  }
  WriteAll(fd_, bar + "\x1b[K");
  visible_ = true;
}

void ProgressBar::Clear() {
  if (!visible_) return;
  WriteAll(fd_, "\r\x1b[K");
  visible_ = false;
}
