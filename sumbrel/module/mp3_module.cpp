#include "module/mp3_module.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <climits>
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
  bool check = false;  // restores to nowhere: every check, no output
  int64_t restoredBytes = 0;
  FileCoder coder;

  FILE* RestoreSink() { return check ? nullptr : output.file; }

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
  const bool check = canCheck && decode == 2;
  if (!input || (!output && !check)) return 1;
  JobSlot slot;
  if (!slot.held()) return 1;
  if (!IsSupported(input)) return 1;
  // Writing the output would destroy the input before it was read.
  if (!check && (SameFile(input, output) || !MayReplace(output))) return 1;

  int result = 1;
  try {
    Job job;
    job.inputPath = input;
    job.check = check;
    job.input = std::fopen(input, "rb");
    struct stat info;
    if (job.input && fstat(fileno(job.input), &info) == 0 && !S_ISDIR(info.st_mode) &&
        (check || job.output.Create(output)))
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
  const int64_t outputLength = job.check ? job.restoredBytes : file_format::LengthAtEnd(job.output.file);
  if (inputLength < 0 || outputLength < 0 || (!job.check && !job.output.Commit())) return 1;
  // The host's fields are 32-bit; a larger stored file reports the largest.
  const auto clamp32 = [](int64_t v) { return int32_t(v > INT32_MAX ? INT32_MAX : v); };
  codedBytes = clamp32(decode ? inputLength : outputLength);
  totalBytes = doneBytes = clamp32(decode ? outputLength : inputLength);
  if (listener) listener->OnProgress(totalBytes, doneBytes, codedBytes);
  return 0;
}

void MP3Module::ReportStep(const FileCoder& coder, FILE* mp3Side) {
  frames = coder.frames;
  totalBytes = coder.model->stream_end;
  codedBytes = coder.model->coder.bytes;
  // Restoring counts what the writer has let out, which a check writes nowhere.
  doneBytes = mp3Side ? int32_t(std::ftell(mp3Side)) : coder.model->stream_end - std::max(coder.model->out_remaining, 0);
  elapsedMs = coder.model->elapsedMs;
  if (listener) listener->OnProgress(totalBytes, doneBytes, codedBytes);
}

int MP3Module::Restore(Job& job) {
  FileCoder& coder = job.coder;
  uint8_t bytes[file_format::kLongestHeader];
  if (std::fread(bytes, 1, 4, job.input) != 4) return 1;
  const uint32_t magic = file_format::WordAt(bytes);
  if (magic == STORED_MAGIC)
    return file_format::CopyRest(job.input, job.RestoreSink(), 0xFF, nullptr, &job.restoredBytes) ? 0 : 1;
  if (magic == STORED2_MAGIC) {
    const size_t rest = size_t(file_format::kStored2HeaderBytes - 4);
    if (std::fread(bytes + 4, 1, rest, job.input) != rest) return 1;
    const file_format::Header header = file_format::ParseHeader(bytes, rest + 4);
    // No job stores an empty file, so a length of 0 is damage, however well it checks.
    if (header.length <= 0) return 1;
    uint32_t crc = 0;
    if (!file_format::CopyRest(job.input, job.RestoreSink(), 0xFF, &crc, &job.restoredBytes)) return 1;
    return crc == header.checksum && job.restoredBytes == header.length ? 0 : 1;
  }
  // Anything else is not a compressed file: answering with an empty output would claim
  // that data came back.
  if (magic != MODEL_MAGIC && magic != MODEL2_MAGIC) return 1;

  std::rewind(job.input);
  if (coder.StartDecode(job.input, job.RestoreSink()) != 0) return 1;
  while (coder.DecodeStep() == 1) {
    ReportStep(coder, job.RestoreSink());
    if (Cancelled()) return 1;
  }
  elapsedMs = coder.model->elapsedMs;
  // What came out of a damaged stream is not the MP3 file.
  if (coder.Damaged()) return 1;
  if (coder.FinishDecode() != 0 || !coder.ChecksumHolds()) return 1;
  job.restoredBytes = coder.restoredBytes;
  return 0;
}

namespace {

// The stored form of format 2: its header, then the MP3 file inverted. False when a write
// failed or the file did not give the length and checksum it gave before.
bool WriteStored2(FILE* input, FILE* output, int64_t length, uint32_t checksum) {
  uint8_t header[file_format::kStored2HeaderBytes];
  file_format::PutWord(header, STORED2_MAGIC);
  file_format::PutWord(header + file_format::kStored2LengthOffset, uint32_t(uint64_t(length)));
  file_format::PutWord(header + file_format::kStored2LengthOffset + 4, uint32_t(uint64_t(length) >> 32));
  file_format::PutWord(header + file_format::kStored2ChecksumOffset, checksum);
  if (std::fwrite(header, 1, sizeof header, output) != sizeof header) return false;
  uint32_t crc = 0;
  int64_t copied = 0;
  // A file that changed since its checksum was taken would be stored under the wrong one.
  if (!file_format::CopyRest(input, output, 0xFF, &crc, &copied, true)) return false;
  return copied == length && crc == checksum;
}

}  // namespace

int MP3Module::Compress(Job& job) {
  FileCoder& coder = job.coder;
  const int64_t length = file_format::LengthAtEnd(job.input);
  if (length <= 0) return 1;
  std::rewind(job.input);
  uint32_t checksum = 0;
  if (format == 2) {
    int64_t counted = 0;
    if (!file_format::ChecksumOfRest(job.input, checksum, counted) || counted != length) return 1;
    std::rewind(job.input);
  }
  // The model-coded form records the MP3 length as a signed 32-bit count; format 2 stores a
  // longer file.
  if (length > INT32_MAX) {
    if (format != 2) return 1;
    return WriteStored2(job.input, job.output.file, length, checksum) ? 0 : 1;
  }

  if (coder.StartEncode(job.input, job.output.file, 0, 0, format, checksum) != 0) return 1;
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

  // Model coding did not pay: the stored form is the input inverted behind its header.
  std::fclose(job.input);
  job.input = std::fopen(job.inputPath, "rb");
  if (!job.input || !job.output.Reopen()) return 1;
  if (format == 2) return WriteStored2(job.input, job.output.file, length, checksum) ? 0 : 1;
  if (!file_format::WriteWord(job.output.file, STORED_MAGIC)) return 1;
  return file_format::CopyRest(job.input, job.output.file, 0xFF) ? 0 : 1;
}
