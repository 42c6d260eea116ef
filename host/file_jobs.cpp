#include "file_jobs.h"

#include <cerrno>
#include <cinttypes>
#include <algorithm>
#include <cstring>
#include <vector>

#include "host_os.h"
#include "module/file_format.h"
#include "paths.h"

namespace {

std::string Reason() { return HostOs::LastReason(); }

bool SameContents(const std::string& a, const std::string& b, std::string& error) {
  FILE* fa = std::fopen(a.c_str(), "rb");
  FILE* fb = std::fopen(b.c_str(), "rb");
  bool same = fa && fb;
  if (!same) error = "cannot read back for the comparison: " + Reason();
  static std::vector<char> bufferA(1 << 16), bufferB(1 << 16);
  while (same) {
    const size_t na = std::fread(bufferA.data(), 1, bufferA.size(), fa);
    const size_t nb = std::fread(bufferB.data(), 1, bufferB.size(), fb);
    if (na != nb || std::memcmp(bufferA.data(), bufferB.data(), na) != 0) {
      same = false;
      error = "the restored bytes differ from the input";
    } else if (na == 0) {
      if (std::ferror(fa) || std::ferror(fb)) {
        same = false;
        error = "a read failed during the comparison";
      }
      break;
    }
  }
  if (fa) std::fclose(fa);
  if (fb) std::fclose(fb);
  return same;
}

// Moves the finished temporary file to its name. Without force an output that appeared in the
// meantime is kept, not replaced.
bool PlaceOutput(const std::string& temp, const FileJob& job, std::string& error) {
  // The input goes once the output is in place: the output must be on the disk first.
  if (HostOs::PlaceFile(temp, job.output, job.keepAttributes ? job.input : std::string(),
                        job.force, job.removeInput, error))
    return true;
  HostOs::RemoveFile(temp);
  return false;
}

// The library takes only names ending in the lower-case extension. Another name is handed to
// it under a name of that form, removed with this object.
class LibraryName {
 public:
  LibraryName(const std::string& input, const char* extension, const std::string& folder,
              std::string& error) {
    const size_t length = std::strlen(extension);
    if (input.size() > length && input.compare(input.size() - length, length, extension) == 0) {
      name_ = input;
      return;
    }
    if (!HostOs::NameForLibrary(input, extension, folder, name_, made_, error)) name_.clear();
  }
  ~LibraryName() {
    if (!made_.empty()) HostOs::RemoveFile(made_);
  }
  LibraryName(const LibraryName&) = delete;
  LibraryName& operator=(const LibraryName&) = delete;
  // "" when no name could be made (the reason is in the constructor's `error`).
  const std::string& name() const { return name_; }

 private:
  std::string name_, made_;
};

// A failed write where the folder has less room than the file `what` may take. The folder is
// named as the user knows it, not as the job's own folder inside it.
std::string OutOfRoom(const char* what, const std::string& path, int64_t bytes) {
  std::string folder = platform::FolderOf(path);
  const std::string name = platform::BaseOf(folder);
  if (name.compare(0, HostOs::kJobFolderPrefixLength, HostOs::kJobFolderPrefix) == 0)
    folder = platform::FolderOf(folder);
  return std::string("cannot write the ") + what + " in " + folder + ": " + HostOs::DiskFullReason() +
         " (it needs up to " + std::to_string(bytes) + " bytes)";
}

// Restores `input` (whose header is `header`) into `output` and holds the result to what the
// header records; with an empty `output` the library's check restores it without writing
// anything. On failure nothing is left at `output`.
bool RestoreChecked(Module& module, JobListener& listener, const std::string& input,
                    const PackedHeader& header, const std::string& output,
                    int64_t& frames, std::string& error) {
  const bool check = output.empty();
  listener.calls = 0;
  listener.lastDone = -1;
  const int result = module.ProcessFile(input.c_str(), check ? nullptr : output.c_str(), check ? 2 : 1);
  if (!check && (g_interrupted || result != 0)) HostOs::RemoveFile(output);
  if (g_interrupted) {
    error = "interrupted";
    return false;
  }
  if (result != 0) {
    // The library gives no reason. The restored file's length is known: without room for it
    // the disk is the cause; with room a failed write is unlikely, so a file it refuses is most
    // likely cut short or corrupt. A check writes nothing, so only the file can be at fault.
    const std::string unlessWrite = check ? ")" : ", unless the output could not be written); nothing was written";
    if (!check && !HostOs::RoomFor(platform::FolderOf(output), header.originalSize))
      error = OutOfRoom("restored file", output, header.originalSize);
    else if (header.format == 2)
      error = "damaged compressed file: it does not restore to the length and checksum it records (it is "
              "cut short or corrupt" + unlessWrite;
    else if (header.form == PackedForm::ModelCoded)
      error = "damaged compressed file: its coded stream does not decode (it is cut short or corrupt" +
              unlessWrite;
    else
      error = std::string("the library could not ") + (check ? "check" : "restore") +
              " it (it gives no reason; a damaged file or a failed " + (check ? "read" : "write") +
              " are the usual causes)";
    return false;
  }
  // The library reports once per decoded frame and once more at the end.
  frames = listener.calls - 1;
  // Format 2's restore holds the bytes to the length, checksum and frame count it records;
  // format 1 records no checksum, so its length and frame count are held here.
  if (check && header.format == 2) return true;
  const int64_t size = check ? listener.lastDone : HostOs::FileSize(output);
  std::string damage;
  if (size != header.originalSize)
    damage = "restored " + std::to_string(size) + " bytes where the header records " +
             std::to_string(header.originalSize);
  if (header.form == PackedForm::ModelCoded && frames != header.frames)
    damage += (damage.empty() ? "" : ", and ") + std::string("decoded ") +
              std::to_string(frames) + " frames where the header records " +
              std::to_string(header.frames);
  if (!damage.empty()) {
    if (!check) HostOs::RemoveFile(output);
    error = "damaged compressed file: " + damage + "; nothing was written";
    return false;
  }
  return true;
}

std::string Sizes(const FileJob& job, int64_t from, int64_t to) {
  char text[64];
  std::snprintf(text, sizeof text, ": %" PRId64 " -> %" PRId64 " bytes", from, to);
  return job.inputName + " -> " + job.outputName + text;
}

// --rm: the input goes once its output is complete; a failure to remove it fails the file.
bool RemoveInput(const FileJob& job, JobResult& result) {
  if (!job.removeInput) return true;
  std::string reason;
  if (HostOs::RemoveFile(job.input, &reason)) {
    result.text += ", input removed";
    return true;
  }
  result.ok = false;
  result.text = "the output is complete, but the input could not be removed: " + reason;
  return false;
}

JobResult Compress(Module& module, JobListener& listener, const FileJob& job) {
  JobResult result;
  std::string temp;
  if (!HostOs::MakeTempIn(job.workFolder, platform::BaseOf(job.output), ".sbk", temp, result.text))
    return result;
  const LibraryName input(job.input, ".mp3", job.linkFolder, result.text);
  if (input.name().empty()) {
    HostOs::RemoveFile(temp);
    return result;
  }
  listener.base = 0;
  listener.calls = 0;
  const int status = module.ProcessFile(input.name().c_str(), temp.c_str(), 0);
  PackedHeader header;
  std::string error;
  if (g_interrupted) {
    result.text = "interrupted";
  } else if (status != 0) {
    // The compressed file takes at most the input and the stored form's header.
    const int64_t most = HostOs::FileSize(job.input) +
                         (job.format == 2 ? file_format::kStored2HeaderBytes : file_format::kStoredOverhead);
    result.text = HostOs::RoomFor(job.workFolder, most)
                      ? "the library could not compress it (it gives no reason; an unreadable "
                        "input or a failed write are the usual causes)"
                      : OutOfRoom("compressed file", job.output, most);
  } else if (!ReadPackedHeader(temp, header, error) || header.form == PackedForm::NotCompressed) {
    result.text = "the library wrote no compressed file";
  } else if (job.verify) {
    std::string restored;
    int64_t frames = 0;
    listener.base = header.originalSize;
    if (!HostOs::MakeTempIn(job.workFolder, platform::BaseOf(job.output), ".verify", restored, result.text)) {
      HostOs::RemoveFile(temp);
      return result;
    }
    const bool ok = RestoreChecked(module, listener, temp, header, restored, frames, error) &&
                    SameContents(job.input, restored, error);
    HostOs::RemoveFile(restored);
    if (!ok) result.text = error == "interrupted" ? error : "verification failed: " + error;
    if (ok && g_interrupted) result.text = "interrupted";
  }
  if (!result.text.empty() || !PlaceOutput(temp, job, result.text)) {
    HostOs::RemoveFile(temp);
    if (job.removeInput && !result.text.empty()) result.text += "; the input is kept";
    return result;
  }
  result.ok = true;
  result.inBytes = header.originalSize;
  result.outBytes = header.fileSize;
  char text[160];
  std::snprintf(text, sizeof text, ", saved %.2f%%, ",
                SavedPercent(header.originalSize, header.fileSize));
  result.text = Sizes(job, header.originalSize, header.fileSize) + text;
  if (header.form == PackedForm::Stored)
    result.text += "stored (coding did not pay)";
  else
    result.text += "model-coded, " + std::to_string(header.frames) + " frames";
  if (job.verify) result.text += ", verified";
  RemoveInput(job, result);
  return result;
}

JobResult Restore(Module& module, JobListener& listener, const FileJob& job) {
  JobResult result;
  // A test writes nothing: the library's check needs no temporary file.
  std::string temp;
  if (!job.test &&
      !HostOs::MakeTempIn(job.workFolder, platform::BaseOf(job.output), ".part", temp, result.text))
    return result;
  const LibraryName input(job.input, ".sbk", job.linkFolder, result.text);
  if (input.name().empty()) {
    if (!temp.empty()) HostOs::RemoveFile(temp);
    return result;
  }
  listener.base = 0;
  int64_t frames = 0;
  if (!RestoreChecked(module, listener, input.name(), job.header, temp, frames, result.text))
    return result;
  result.inBytes = job.header.fileSize;
  result.outBytes = job.header.originalSize;
  const std::string framesText =
      job.header.form == PackedForm::ModelCoded ? ", " + std::to_string(frames) + " frames" : "";
  if (job.test) {
    result.ok = true;
    result.text = job.inputName + ": whole, " + std::to_string(job.header.originalSize) +
                  " bytes restored, " + FormName(job.header) +
                  (job.header.format == 2 ? ", checksum holds" : ", no checksum to check") + framesText;
    return result;
  }
  if (!PlaceOutput(temp, job, result.text)) return result;
  result.ok = true;
  result.text = Sizes(job, job.header.fileSize, job.header.originalSize) + ", " +
                (job.header.form == PackedForm::ModelCoded ? "model-coded" : "stored") + framesText;
  RemoveInput(job, result);
  return result;
}

}  // namespace

void JobListener::OnProgress(int, int doneBytes, int) {
  ++calls;
  lastDone = doneBytes;
  if (g_interrupted && module) module->SetCancel(1);
  if (progress) progress->Report(base + doneBytes);
}

JobResult RunJob(Module& module, JobListener& listener, const FileJob& job) {
  listener.module = &module;
  return job.restore ? Restore(module, listener, job) : Compress(module, listener, job);
}
