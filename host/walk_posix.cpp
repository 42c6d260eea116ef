// FTW_ACTIONRETVAL, to skip a subtree, is a GNU extension.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <ftw.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "host_os.h"

namespace HostOs {

namespace {

// nftw takes no context argument; one walk runs at a time.
struct Walk {
  bool (*take)(const std::string& path, const char* extension);
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
      if (S_ISREG(status->st_mode) && walk.take(path, walk.extension)) walk.found->push_back(path);
      break;
    case FTW_SL: {  // taken when it leads to a regular file; a link to a folder is not walked
      struct stat target {};
      if (stat(path, &target) == 0 && S_ISREG(target.st_mode) && walk.take(path, walk.extension))
        walk.found->push_back(path);
      break;
    }
    case FTW_D:
      // What a job of an earlier, killed command left behind is nobody's input.
      if (std::strncmp(path + walk.nameOffset(path), HostOs::kJobFolderPrefix,
                       HostOs::kJobFolderPrefixLength) == 0)
        return FTW_SKIP_SUBTREE;
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

void WalkFolder(const std::string& given, bool (*take)(const std::string& path, const char* extension),
                const char* extension, std::vector<std::string>& found,
                std::vector<std::pair<std::string, std::string>>& errors) {
  walk = {take, extension, &found, &errors};
  // The folder given is walked even when it is named through a link, as find -H does: with
  // FTW_PHYS nftw would stop at such a root, but not at the folder's own "." entry in it.
  std::string root = given;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  const std::string base = root == "/" ? "" : root;
  const std::string start = base + "/.";
  const size_t before = found.size(), errorsBefore = errors.size();
  if (nftw(start.c_str(), Visit, 32, FTW_PHYS | FTW_ACTIONRETVAL) != 0)
    errors.push_back({given, std::string("cannot walk the folder: ") + std::strerror(errno)});
  // Names as the user gave the folder, without the "/." the walk went through.
  auto Rename = [&](std::string& path) {
    if (path.compare(0, start.size() + 1, start + "/") == 0) path.erase(base.size(), 2);
  };
  for (size_t i = before; i < found.size(); ++i) Rename(found[i]);
  for (size_t i = errorsBefore; i < errors.size(); ++i) Rename(errors[i].first);
}

}  // namespace HostOs
