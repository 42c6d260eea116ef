#include "progress_bar.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "host_os.h"

double MonotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

ProgressBar::ProgressBar(int64_t totalBytes)
    : total_(std::max<int64_t>(totalBytes, 1)), start_(MonotonicSeconds()) {}

void ProgressBar::Show(int64_t doneBytes, const std::string& name, bool now) {
  const double time = MonotonicSeconds();
  if (!now && lastDrawn_ >= 0 && time - lastDrawn_ < 0.1) return;
  lastDrawn_ = time;
  const double share = std::clamp(double(doneBytes) / double(total_), 0.0, 1.0);
  const int barWidth = 24;
  const int filled = int(share * barWidth);
  std::string bar = "[" + std::string(size_t(filled), '#') +
                    std::string(size_t(barWidth - filled), '-') + "]";
  char numbers[64];
  const double seconds = std::max(time - start_, 1e-3);
  std::snprintf(numbers, sizeof numbers, " %3d%% %8.2f MB/s  ", int(share * 100),
                double(doneBytes) / 1e6 / seconds);
  bar += numbers;
  // Keep the line short of the last column, where a terminal would wrap it.
  const int room = HostOs::TerminalColumns() - 1 - int(bar.size());
  if (name.size() <= size_t(std::max(room, 0))) {
    bar += name;
  } else if (room > 8) {
    size_t cut = name.size() - size_t(room - 3);
    while (cut < name.size() && (name[cut] & 0xC0) == 0x80) ++cut;  // not inside a character
    bar += "..." + name.substr(cut);
  }
  HostOs::ShowStatusLine(bar);
  visible_ = true;
}

void ProgressBar::Clear() {
  if (!visible_) return;
  HostOs::ClearStatusLine();
  visible_ = false;
}
