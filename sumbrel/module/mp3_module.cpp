#include "module/mp3_module.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "bitstream/huffman_tables.h"
#include "module/file_coder.h"
#include "module/file_format.h"
#include "module/output_file.h"

namespace {

// The code tables every job builds and releases are shared by the whole process, so a job
// that starts while another runs, in any module object, must not begin.
std::atomic<bool> jobRunning{false};

class JobSlot {
 public:
  JobSlot() : held_(!jobRunning.exchange(true)) {}
  ~JobSlot() {
    if (held_) jobRunning.store(false);
  }
  bool held() const { return held_; }

 private:
  bool held_;
};

}  // namespace

struct MP3Module::Job {
  FILE* input = nullptr;
  const char* inputPath = nullptr;
  PendingOutput output;
  FileCoder coder;

  ~Job() {
    if (input) std::fclose(input);
  }
};

void* MP3Module::Destroy(unsigned flags) {
  // GetModule made the object with new, so its memory goes back the same way, inside the
  // library, whatever allocator the host uses.
  this->~MP3Module();
  if (flags & 1) ::operator delete(this);
  return this;
}

void MP3Module::SetCancel(int value) { std::atomic_ref<int32_t>(cancel).store(value); }

int MP3Module::GetCancel() { return std::atomic_ref<int32_t>(cancel).load(); }

bool MP3Module::Cancelled() { return GetCancel() != 0; }

int MP3Module::ProcessFile(const char* input, const char* output, int decode) {
  if (!input || !output) return 1;
  JobSlot slot;
  if (!slot.held()) return 1;
  if (!IsSupported(input)) return 1;
  // Writing the output would destroy the input before it was read.
  if (SameFile(input, output) || !MayReplace(output)) return 1;

  int result = 1;
  try {
    Job job;
    job.inputPath = input;
    job.input = std::fopen(input, "rb");
    struct stat info;
    if (job.input && fstat(fileno(job.input), &info) == 0 && !S_ISDIR(info.st_mode) &&
        job.output.Create(output))
      result = RunJob(job, decode);
  } catch (...) {
    // An allocation that failed anywhere in the job; the Job's destructor has already
    // closed the input and deleted the temporary output.
    result = 1;
  }
  ReleaseCodeTables();
  return result;
}

// Runs a job on open files; 0 once the output has been moved into place.
int MP3Module::RunJob(Job& job, int decode) {
  frames = 0;
  elapsedMs = 0;
  const int result = decode ? Restore(job) : Compress(job);
  job.coder.Release();
  if (result != 0) return 1;

  const int64_t inputLength = file_format::LengthAtEnd(job.input);
  const int64_t outputLength = file_format::LengthAtEnd(job.output.file);
  if (inputLength < 0 || outputLength < 0 || !job.output.Commit()) return 1;
  codedBytes = int32_t(decode ? inputLength : outputLength);
  totalBytes = doneBytes = int32_t(decode ? outputLength : inputLength);
  if (listener) listener->OnProgress(totalBytes, doneBytes, codedBytes);
  return 0;
}

void MP3Module::ReportStep(const FileCoder& coder, FILE* mp3Side) {
  frames = coder.frames;
  totalBytes = coder.model->stream_end;
  codedBytes = coder.model->coder.bytes;
  doneBytes = int32_t(std::ftell(mp3Side));
  elapsedMs = coder.model->elapsedMs;
  if (listener) listener->OnProgress(totalBytes, doneBytes, codedBytes);
}

int MP3Module::Restore(Job& job) {
  FileCoder& coder = job.coder;
  uint32_t magic;
  if (!file_format::ReadWord(job.input, magic)) return 1;
  if (magic == STORED_MAGIC) return file_format::CopyRest(job.input, job.output.file, 0xFF) ? 0 : 1;
  // Anything else is not a compressed file: answering with an empty output would claim
  // that data came back.
  if (magic != MODEL_MAGIC) return 1;

  std::rewind(job.input);
  if (coder.StartDecode(job.input, job.output.file) != 0) return 1;
  while (coder.DecodeStep() == 1) {
    ReportStep(coder, job.output.file);
    if (Cancelled()) return 1;
  }
  elapsedMs = coder.model->elapsedMs;
  // What came out of a damaged stream is not the MP3 file.
  if (coder.Damaged()) return 1;
  return coder.FinishDecode();
}

int MP3Module::Compress(Job& job) {
  FileCoder& coder = job.coder;
  // The compressed file records the MP3 length as a signed 32-bit word.
  const int64_t length = file_format::LengthAtEnd(job.input);
  if (length <= 0 || length > INT32_MAX) return 1;
  std::rewind(job.input);

  if (coder.StartEncode(job.input, job.output.file, 0, 0) != 0) return 1;
  if (coder.model->stream_end == 0) return 1;
  while (coder.EncodeStep() == 1) {
    ReportStep(coder, job.input);
    if (Cancelled()) return 1;
  }
  if (coder.FinishEncode() != 0) return 1;

  const int64_t inputLength = file_format::LengthAtEnd(job.input);
  const int64_t outputLength = file_format::LengthAtEnd(job.output.file);
  if (inputLength < 0 || outputLength < 0) return 1;
  if (inputLength >= outputLength) return 0;

  // Model coding did not pay: the stored form is the input inverted behind its magic.
  std::fclose(job.input);
  job.input = std::fopen(job.inputPath, "rb");
  if (!job.input || !job.output.Reopen()) return 1;
  if (!file_format::WriteWord(job.output.file, STORED_MAGIC)) return 1;
  return file_format::CopyRest(job.input, job.output.file, 0xFF) ? 0 : 1;
}
