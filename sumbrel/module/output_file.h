// A job's output is written to a temporary file in the folder of its final name and moved
// there only when the job succeeds, so a failed or cancelled job leaves no partial file and
// an existing file stays as it was.
#pragma once
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
