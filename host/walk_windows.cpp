#include <windows.h>

#include <cstring>

#include "host_os.h"

namespace HostOs {

namespace {

void Walk(const std::string& folder, bool (*take)(const std::string&, const char*),
          const char* extension, std::vector<std::string>& found,
          std::vector<std::pair<std::string, std::string>>& errors, bool top) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) {
    const std::string reason = LastReason();
    if (top)
      errors.push_back({folder, "cannot walk the folder: " + reason});
    else
      errors.push_back({folder, "cannot read the folder"});
    return;
  }
  std::vector<std::string> folders;
  do {
    const char* name = entry.cFileName;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    const std::string path = folder + "\\" + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // A link to a folder is not followed, so a link cannot make a loop; what a job of an
      // earlier, killed command left behind is nobody's input.
      if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
          std::strncmp(name, HostOs::kJobFolderPrefix, HostOs::kJobFolderPrefixLength) != 0)
        folders.push_back(path);
    } else if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) && take(path, extension)) {
      found.push_back(path);
    }
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  for (const std::string& below : folders) Walk(below, take, extension, found, errors, false);
}

}  // namespace

void WalkFolder(const std::string& given, bool (*take)(const std::string& path, const char* extension),
                const char* extension, std::vector<std::string>& found,
                std::vector<std::pair<std::string, std::string>>& errors) {
  std::string root = given;
  while (root.size() > 1 && (root.back() == '\\' || root.back() == '/') &&
         !(root.size() == 3 && root[1] == ':'))
    root.pop_back();
  const size_t before = errors.size();
  Walk(root, take, extension, found, errors, true);
  if (errors.size() > before && errors[before].first == root) errors[before].first = given;
}

}  // namespace HostOs
