// MP3Module: the object GetModule hands to the host. It runs one job per ProcessFile call
// and keeps the progress of the current or last job where the host can read it.
#pragma once
#include <cstdint>
#include <cstdio>

#include "module/sumbrel.h"

class FileCoder;

class MP3Module final : public Module {
 public:
  explicit MP3Module(ProgressListener* listener) : listener(listener) {}
  // A module of the added entry point: it writes `format` and knows the check job.
  MP3Module(ProgressListener* listener, int format) : listener(listener), format(format), canCheck(true) {}

  void* Destroy(unsigned flags) override;
  int ProcessFile(const char* input, const char* output, int decode) override;
  void SetCancel(int value) override;
  int GetCancel() override;
  double GetSavedPercent(const char* path) override;
  int GetSavedBytes(const char* path) override;
  int IsSupported(const char* path) override;

  // Progress of the current or last job, in the host's order of fields.
  int32_t totalBytes = 0;
  int32_t doneBytes = 0;
  int32_t codedBytes = 0;
  int32_t frames = 0;
  int32_t reserved = 0;
  uint32_t elapsedMs = 0;
  int32_t cancel = 0;  // accessed atomically: the host may set it from another thread
  ProgressListener* listener;

 private:
  struct Job;
  int format = 1;         // what Compress writes: 1 or 2
  bool canCheck = false;  // ProcessFile's decode 2 checks without writing
  int RunJob(Job& job, int decode);
  int Restore(Job& job);
  int Compress(Job& job);
  bool Cancelled();
  void ReportStep(const FileCoder& coder, FILE* mp3Side);
};
