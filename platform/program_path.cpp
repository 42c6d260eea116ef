#include "program_path.h"

namespace platform {

bool ProgramFolder(std::string& folder, std::string& error) {
  std::string path;
  if (!ProgramPath(path, error)) return false;
  folder = path.substr(0, path.find_last_of("\\/") + 1);
  return true;
}

}  // namespace platform
