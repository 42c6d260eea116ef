#include "search.h"

#include <windows.h>

bool FindFiles(const std::string& mask, std::vector<std::string>& files) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(mask.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  // The search returns bare names; opened as they are, they would name files
  // in the current folder rather than the ones that matched.
  const size_t slash = mask.find_last_of("\\/:");
  const std::string folder = slash == std::string::npos ? std::string() : mask.substr(0, slash + 1);
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) files.push_back(folder + entry.cFileName);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return true;
}
