#include "search.h"

#include <glob.h>
#include <sys/stat.h>

bool FindFiles(const std::string& mask, std::vector<std::string>& files) {
  glob_t matches;
  const int found = glob(mask.c_str(), 0, nullptr, &matches);
  if (found != 0) return false;
  const bool any = matches.gl_pathc > 0;
  for (size_t i = 0; i < matches.gl_pathc; ++i) {
    struct stat info;
    const char* path = matches.gl_pathv[i];
    if (!(stat(path, &info) == 0 && S_ISDIR(info.st_mode))) files.emplace_back(path);
  }
  globfree(&matches);
  return any;
}
