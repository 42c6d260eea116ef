#pragma once
// Runs programs under test as a user would, from a shell in a chosen directory,
// and collects what they print.
#include <string>

namespace testsupport {

struct CommandResult {
  int exit_code = -1;  // -1 when the command did not exit normally
  std::string out;
  std::string err;
};

// Runs `command` with /bin/sh in `directory`, feeding `input` on standard input.
CommandResult RunCommand(const std::string& command, const std::string& directory,
                         const std::string& input = "");

// Quotes a string for /bin/sh.
std::string ShellQuote(const std::string& text);

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);

}  // namespace testsupport
