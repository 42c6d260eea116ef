// What a job's process tells its parent through its channel: whole messages of one fixed
// size, in order. The pool (worker_pool.cpp) reads them; the job's side (job_child.cpp) writes
// them.
#pragma once
#include <cstdint>

struct JobMessage {
  enum Kind : int32_t { Progress, Done } kind;
  int32_t ok;
  int64_t doneBytes;
  int64_t inBytes, outBytes;
  char text[1024];
};
// Small enough to be written whole in one call to a pipe on every system.
static_assert(sizeof(JobMessage) <= 4096);
