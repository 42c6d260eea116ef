// FTW_ACTIONRETVAL, to skip a subtree, is a GNU extension.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include "input_files.h"

#include <ftw.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

bool HasExtension(const std::string& path, const char* extension) {
  const size_t length = std::strlen(extension);
  const size_t slash = path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (path.size() - nameStart <= length) return false;  // a name that is only the extension
  for (size_t i = 0; i < length; ++i)
    if (std::tolower(static_cast<unsigned char>(path[path.size() - length + i])) != extension[i])
      return false;
  return true;
}

namespace {

// nftw takes no context argument; one walk runs at a time.
struct Walk {
  const char* extension;
  std::vector<std::string>* found;
  std::vector<std::pair<std::string, std::string>>* errors;
  static size_t nameOffset(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? size_t(slash - path + 1) : 0;
  }
} walk;

int Visit(const char* path, const struct stat* status, int type, struct FTW*) {
  switch (type) {
    case FTW_F:
      if (S_ISREG(status->st_mode) && HasExtension(path, walk.extension)) walk.found->push_back(path);
      break;
    case FTW_SL: {  // taken when it leads to a regular file; a link to a folder is not walked
      struct stat target {};
      if (stat(path, &target) == 0 && S_ISREG(target.st_mode) && HasExtension(path, walk.extension))
        walk.found->push_back(path);
      break;
    }
    case FTW_D:
      // What a job of an earlier, killed command left behind is nobody's input.
      if (std::strncmp(path + walk.nameOffset(path), ".sumbrel-job-", 13) == 0) return FTW_SKIP_SUBTREE;
      break;
    case FTW_DNR:
      walk.errors->push_back({path, "cannot read the folder"});
      break;
    case FTW_NS:
      walk.errors->push_back({path, std::string("cannot look at it: ") + std::strerror(errno)});
      break;
    default:
      break;
  }
  return FTW_CONTINUE;
}

}  // namespace

InputList ExpandInputs(const std::vector<std::string>& given, bool recursive, const char* extension) {
  InputList list;
  for (const std::string& path : given) {
    struct stat status {};
    if (!recursive || path == "-" || stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
      list.files.push_back(path);  // the planner says what is wrong with it, if anything
      continue;
    }
    std::vector<std::string> found;
    walk = {extension, &found, &list.errors};
    // The folder given is walked even when it is named through a link.
    std::string root = path;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    if (nftw((root + "/").c_str(), Visit, 32, FTW_PHYS | FTW_ACTIONRETVAL) != 0)
      list.errors.push_back({path, std::string("cannot walk the folder: ") + std::strerror(errno)});
    // The walk named them with the slash it was given; "a//b" reads oddly in messages.
    for (std::string& file : found)
      if (file.compare(0, root.size() + 2, root + "//") == 0) file.erase(root.size(), 1);
    std::sort(found.begin(), found.end());
    list.files.insert(list.files.end(), found.begin(), found.end());
  }
  return list;
}
