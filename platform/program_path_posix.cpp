#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "program_path.h"

namespace platform {

bool ProgramPath(std::string& path, std::string& error) {
  std::string buffer(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || size_t(length) >= buffer.size()) {
    error = std::string("cannot find the program's file through /proc/self/exe: ") +
            (length < 0 ? std::strerror(errno) : "path too long");
    return false;
  }
  path = buffer.substr(0, size_t(length));
  return true;
}

}  // namespace platform
