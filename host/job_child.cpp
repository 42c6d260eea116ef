// What a job's process does, on every system: runs the job with the library and tells its
// parent how far it got and how it ended.
#include <cstdio>

#include "file_jobs.h"
#include "job_messages.h"
#include "job_process.h"
#include "progress_bar.h"

namespace {

// Passes progress on to the parent, at most twenty times a second.
class PipeProgress final : public JobProgress {
 public:
  explicit PipeProgress(JobChannel& channel) : channel_(channel) {}
  void Report(int64_t doneBytes) override {
    const double now = MonotonicSeconds();
    if (now - last_ < 0.05) return;
    last_ = now;
    JobMessage message{};
    message.kind = JobMessage::Progress;
    message.doneBytes = doneBytes;
    channel_.Send(&message, sizeof message);
  }

 private:
  JobChannel& channel_;
  double last_ = -1;
};

}  // namespace

void RunJobHere(const FileJob& job, const PluginLibrary& library, JobChannel& channel) {
  JobMessage message{};
  message.kind = JobMessage::Done;
  JobListener listener;
  PipeProgress progress(channel);
  listener.progress = &progress;
  const intptr_t address = reinterpret_cast<intptr_t>(static_cast<ProgressListener*>(&listener));
  // A library older than format 2 has only GetModule, which writes and restores format 1 and
  // cannot check without writing.
  const bool needsFormat2 = job.test || (job.restore ? job.header.format == 2 : job.format == 2);
  Module* module = nullptr;
  JobResult result;
  if (library.getModuleOfFormat)
    module = library.getModuleOfFormat(address, job.format);
  else if (!needsFormat2)
    module = library.getModule(address);
  if (module)
    result = RunJob(*module, listener, job);
  else if (library.getModuleOfFormat || !needsFormat2)
    result.text = "the library could not create its module (out of memory)";
  else
    result.text = TooOldForFormat2(library);
  message.ok = result.ok;
  message.inBytes = result.inBytes;
  message.outBytes = result.outBytes;
  std::snprintf(message.text, sizeof message.text, "%s", result.text.c_str());
  channel.Send(&message, sizeof message);
}
