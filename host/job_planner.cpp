#include "job_planner.h"

#include "input_files.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "host_os.h"
#include "paths.h"

namespace {

// The same output may be named in different ways (./a, a); compare it by its real folder.
std::string OutputIdentity(const std::string& output) {
  std::string folder;
  if (!HostOs::ResolvedFolder(platform::FolderOf(output), folder)) return output;
  return folder + "/" + platform::BaseOf(output);
}

}  // namespace

const std::string JobPlanner::kSkipped = "skipped: its output exists already";

std::string JobPlanner::Plan(const std::string& input, FileJob& job) {
  job = FileJob();
  job.input = job.inputName = input;
  job.restore = restore || test;
  job.test = test;
  job.force = force;
  job.verify = verify;
  job.removeInput = removeInput;
  job.format = format;
  HostOs::FileStatus status;
  std::string error;
  if (!HostOs::OpenedStatus(input, status, error)) return error;
  if (status.type == HostOs::FileType::Folder) return "is a folder (-r takes the files in it)";
  if (status.type != HostOs::FileType::Regular) return "is not a regular file";

  if (job.restore) {
    if (!ReadPackedHeader(input, job.header, error)) return error;
    if (job.header.form == PackedForm::NotCompressed)
      return "not a compressed file (it does not start with a sumbrel magic word)";
    const std::string damage = HeaderDamage(job.header);
    if (!damage.empty()) return damage;
    job.workBytes = job.header.originalSize;
    // The check writes nothing, so it needs no output and no room anywhere.
    if (test) return "";
    job.output = explicitOutput;
    if (job.output.empty()) {
      if (!HasExtension(input, ".sbk"))
        return "is not named *.sbk, so it gives no name for the restored file; name it with -o";
      job.output = input.substr(0, input.size() - 4);
    }
  } else {
    if (status.size == 0) return "is empty, so there is nothing to compress";
    // Format 1 records the length in 32 bits; format 2 records 64 and stores a longer file.
    if (format == 1 && status.size > INT32_MAX)
      return "is larger than 2147483647 bytes, the most format 1 can record (format 2 takes it)";
    if (!HasExtension(input, ".mp3")) return "is not named *.mp3 (in any case), so it is not taken";
    job.output = explicitOutput.empty() ? input + ".sbk" : explicitOutput;
    job.workBytes = int64_t(status.size) * (verify ? 2 : 1);
  }
  job.outputName = job.output;

  HostOs::FileStatus existing;
  if (HostOs::OwnStatus(job.output, existing)) {
    if (inputs.count(existing.identity))
      return "the output " + job.output + " is an input of this command";
    if (existing.type == HostOs::FileType::Folder) return "the output " + job.output + " is a folder";
    if (skipExisting) return kSkipped;
    if (!force) return "the output " + job.output + " already exists (-f replaces it)";
  }
  if (!outputs.insert(OutputIdentity(job.output)).second)
    return "the output " + job.output + " is also the output of an earlier file";
  return "";
}
