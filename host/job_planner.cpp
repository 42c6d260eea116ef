#include "job_planner.h"

#include "input_files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace {

std::string Reason() { return std::strerror(errno); }

// The same output may be named in different ways (./a, a); compare it by its real folder.
std::string OutputIdentity(const std::string& output) {
  char* folder = realpath(FolderOf(output).c_str(), nullptr);
  if (!folder) return output;
  std::string identity = std::string(folder) + "/" + BaseOf(output);
  free(folder);
  return identity;
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string JobPlanner::Plan(const std::string& input, FileJob& job) {
  job = FileJob();
  job.input = job.inputName = input;
  job.restore = restore || test;
  job.test = test;
  job.force = force;
  job.verify = verify;
  job.removeInput = removeInput;
  // Non-blocking, so that a FIFO with such a name is refused rather than waited on.
  const int fd = open(input.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return "cannot open: " + Reason();
  struct stat status {};
  const bool statted = fstat(fd, &status) == 0;
  close(fd);
  if (!statted) return "cannot read: " + Reason();
  if (S_ISDIR(status.st_mode)) return "is a folder (-r takes the files in it)";
  if (!S_ISREG(status.st_mode)) return "is not a regular file";

  if (job.restore) {
    std::string error;
    if (!ReadPackedHeader(input, job.header, error)) return error;
    if (job.header.form == PackedForm::NotCompressed)
      return "not a compressed file (it does not start with a sumbrel magic word)";
    const std::string damage = HeaderDamage(job.header);
    if (!damage.empty()) return damage;
    job.workBytes = job.header.originalSize;
    if (test) {
      job.output = scratchFolder + "/" + BaseOf(input);
      job.outputName = "";
      return "";
    }
    job.output = explicitOutput;
    if (job.output.empty()) {
      if (!HasExtension(input, ".sbk"))
        return "has no name left after removing .sbk; name the output with -o";
      job.output = input.substr(0, input.size() - 4);
    }
  } else {
    if (status.st_size == 0) return "is empty, so there is nothing to compress";
    if (status.st_size > INT32_MAX)
      return "is larger than 2147483647 bytes, the most a compressed file can record";
    if (!HasExtension(input, ".mp3")) return "is not named *.mp3 (in any case), so it is not taken";
    job.output = explicitOutput.empty() ? input + ".sbk" : explicitOutput;
    job.workBytes = int64_t(status.st_size) * (verify ? 2 : 1);
  }
  job.outputName = job.output;

  struct stat existing {};
  if (lstat(job.output.c_str(), &existing) == 0) {
    if (inputs.count({existing.st_dev, existing.st_ino}))
      return "the output " + job.output + " is an input of this command";
    if (S_ISDIR(existing.st_mode)) return "the output " + job.output + " is a folder";
    if (!force) return "the output " + job.output + " already exists (-f replaces it)";
  }
  if (!outputs.insert(OutputIdentity(job.output)).second)
    return "the output " + job.output + " is also the output of an earlier file";
  return "";
}
