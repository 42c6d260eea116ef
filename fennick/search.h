#pragma once
#include <string>
#include <vector>

// The entries that the system's directory search returns for `mask`, in the
// order it returns them, directories left out. Each path keeps the mask's
// folder part, so that the file that matched is the one that is rewritten.
// False when the search found no entry at all (a mask that matches only
// folders finds entries, but no files).
bool FindFiles(const std::string& mask, std::vector<std::string>& files);
