// Loads libsumbrel.so from the folder that holds this program.
#pragma once
#include <string>

#include "sumbrel.h"

struct PluginLibrary {
  void* handle = nullptr;
  GetModuleFunction getModule = nullptr;
  std::string path;
};

// Returns false with the reason (naming the library's path) in `error`.
bool LoadPluginLibrary(PluginLibrary& library, std::string& error);
