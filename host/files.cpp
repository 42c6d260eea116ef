// The file services that are the same on every system, on top of the per-system ones.
#include <algorithm>
#include <cstdint>

#include "host_os.h"

namespace HostOs {

bool MakeTempIn(const std::string& folder, const std::string& name, const char* suffix,
                std::string& temp, std::string& error) {
  // Short enough for any file system, and not cut inside a UTF-8 character.
  size_t length = std::min<size_t>(name.size(), 180);
  while (length > 0 && length < name.size() && (uint8_t(name[length]) & 0xC0) == 0x80) --length;
  std::string reason;
  if (!MakeUniqueFile(folder + "/" + name.substr(0, length) + ".", suffix, temp, reason)) {
    error = "cannot create a file in the folder " + folder + ": " + reason;
    return false;
  }
  return true;
}

}  // namespace HostOs
