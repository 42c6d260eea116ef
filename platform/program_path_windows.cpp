#include <windows.h>

#include "program_path.h"

namespace platform {

bool ProgramPath(std::string& path, std::string& error) {
  // GetModuleFileNameA fills the whole buffer when the path is cut short, so grow it until the
  // path fits (long paths can exceed MAX_PATH).
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), DWORD(buffer.size()));
    if (n == 0) {
      error = "cannot find the program's file (error " + std::to_string(GetLastError()) + ")";
      return false;
    }
    if (n < buffer.size()) {
      path = buffer.substr(0, n);
      return true;
    }
    if (buffer.size() >= 65536) {
      error = "cannot find the program's file: path too long";
      return false;
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace platform
