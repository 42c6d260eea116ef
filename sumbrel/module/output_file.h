// A job's output is written to a temporary file in the folder of its final name and moved
// there only when the job succeeds, so a failed or cancelled job leaves no partial file and
// an existing file stays as it was.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

class PendingOutput {
 public:
  PendingOutput() = default;
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;
  ~PendingOutput() { Discard(); }

  // Creates the temporary file, open for binary writing. False when it cannot be made.
  bool Create(const char* finalPath);
  // Starts the temporary file again, empty.
  bool Reopen();
  // Writes out, closes and moves the file to its final name. False when any of it failed;
  // then the temporary file is gone and the final name untouched.
  bool Commit();
  // Closes and deletes the temporary file, if any.
  void Discard();

  FILE* file = nullptr;

 private:
  std::string finalPath_;
  std::string tempPath_;
};

// True when the two paths are spelled alike or name the same existing file.
bool SameFile(const char* a, const char* b);

// False when the path names a folder, or an existing file this process may not write.
bool MayReplace(const char* path);

// The system calls under PendingOutput, one file per system (output_file_*.cpp).
namespace output_file_system {

// Creates the file `path`, which must not exist yet, open for binary writing. Null on failure,
// with `exists` telling whether a file of that name was in the way.
FILE* CreateNew(const std::string& path, bool& exists);
// Moves `from` to `to` in one step, replacing a file that is there.
bool Replace(const std::string& from, const std::string& to);
void Remove(const std::string& path);

}  // namespace output_file_system
