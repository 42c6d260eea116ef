#include "command.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/rtest-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  // Tests may leave read-only folders behind; make them writable to clean up.
  std::error_code ignored;
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), std::streamsize(contents.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

CommandResult RunCommand(const std::string& command, const std::string& directory,
                         const std::string& input) {
  TempDir scratch;
  WriteFile(scratch / "in", input);
  const std::string line = "cd " + ShellQuote(directory) + " && { " + command + "; } <" +
                           ShellQuote(scratch / "in") + " >" + ShellQuote(scratch / "out") +
                           " 2>" + ShellQuote(scratch / "err");
  const int status = std::system(line.c_str());
  CommandResult result;
  if (status != -1 && WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  result.out = ReadFile(scratch / "out");
  result.err = ReadFile(scratch / "err");
  return result;
}

}  // namespace testsupport
