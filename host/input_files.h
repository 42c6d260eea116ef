// The inputs of a command: the names given, and with -r the files found below the folders given.
#pragma once
#include <string>
#include <utility>
#include <vector>

// True when the name of `path` ends in `extension` (".mp3", ".sbk") in any case.
bool HasExtension(const std::string& path, const char* extension);

struct InputList {
  std::vector<std::string> files;
  std::vector<std::pair<std::string, std::string>> errors;  // path and reason
};

// Without `recursive` the names as given. With it, a folder given stands for every regular
// file below it whose name ends in `extension` in any case, in path order; links to files are
// taken, links to folders are not followed (so a link cannot make a loop).
InputList ExpandInputs(const std::vector<std::string>& given, bool recursive, const char* extension);
