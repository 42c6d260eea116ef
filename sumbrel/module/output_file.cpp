#include "module/output_file.h"

#include "paths.h"
#include "unique_number.h"

namespace {

namespace sys = output_file_system;

// Names need only differ from files already there: creating them new settles collisions.
std::string CandidateName(const std::string& folder) {
  const uint64_t x = platform::UniqueNumber();
  char suffix[17];
  for (int i = 0; i < 16; ++i) suffix[i] = "0123456789abcdef"[(x >> (4 * i)) & 15];
  suffix[16] = 0;
  return folder + platform::kSeparators[0] + ".sumbrel-" + suffix + ".part";
}

}  // namespace

bool PendingOutput::Create(const char* finalPath) {
  Discard();
  finalPath_ = finalPath;
  const std::string folder = platform::FolderOf(finalPath_);
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string candidate = CandidateName(folder);
    bool exists = false;
    file = sys::CreateNew(candidate, exists);
    if (file) {
      tempPath_ = std::move(candidate);
      return true;
    }
    if (!exists) return false;
  }
  return false;
}

bool PendingOutput::Reopen() {
  if (tempPath_.empty()) return false;
  if (file) std::fclose(file);
  file = std::fopen(tempPath_.c_str(), "wb");
  return file != nullptr;
}

bool PendingOutput::Commit() {
  if (!file) return false;
  bool ok = std::fflush(file) == 0 && !std::ferror(file);
  ok &= std::fclose(file) == 0;
  file = nullptr;
  ok = ok && sys::Replace(tempPath_, finalPath_);
  if (ok)
    tempPath_.clear();
  else
    Discard();
  return ok;
}

void PendingOutput::Discard() {
  if (file) std::fclose(file);
  file = nullptr;
  if (!tempPath_.empty()) sys::Remove(tempPath_);
  tempPath_.clear();
}
