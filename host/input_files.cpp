#include "input_files.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "host_os.h"
#include "paths.h"

bool HasExtension(const std::string& path, const char* extension) {
  const size_t length = std::strlen(extension);
  const size_t slash = path.find_last_of(platform::kSeparators);
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (path.size() - nameStart <= length) return false;  // a name that is only the extension
  for (size_t i = 0; i < length; ++i)
    if (std::tolower(static_cast<unsigned char>(path[path.size() - length + i])) != extension[i])
      return false;
  return true;
}

InputList ExpandInputs(const std::vector<std::string>& given, bool recursive, const char* extension) {
  InputList list;
  for (const std::string& path : given) {
    HostOs::FileStatus status;
    if (!recursive || path == "-" || !HostOs::Status(path, status) ||
        status.type != HostOs::FileType::Folder) {
      list.files.push_back(path);  // the planner says what is wrong with it, if anything
      continue;
    }
    std::vector<std::string> found;
    HostOs::WalkFolder(path, HasExtension, extension, found, list.errors);
    std::sort(found.begin(), found.end());
    list.files.insert(list.files.end(), found.begin(), found.end());
  }
  return list;
}
