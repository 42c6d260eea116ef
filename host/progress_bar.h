// The one-line progress display on a terminal: share of all bytes done, speed, current file.
#pragma once
#include <cstdint>
#include <string>

class ProgressBar {
 public:
  // Draws on standard error.
  explicit ProgressBar(int64_t totalBytes);
  // Redraws at most ten times a second unless `now` is set.
  void Show(int64_t doneBytes, const std::string& name, bool now = false);
  // Removes the line, so that a message can be printed in its place.
  void Clear();

 private:
  int64_t total_;
  double start_;
  double lastDrawn_ = -1;
  bool visible_ = false;
};

double MonotonicSeconds();
