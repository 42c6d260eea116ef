// Loads libsumbrel.so from the folder that holds this program.
#pragma once
#include <string>

#include "sumbrel.h"

struct PluginLibrary {
  void* handle = nullptr;
  GetModuleFunction getModule = nullptr;
  // Null in a library older than format 2, which still writes and restores format 1.
  GetModuleOfFormatFunction getModuleOfFormat = nullptr;
  std::string path;
};

// Returns false with the reason (naming the library's path) in `error`.
bool LoadPluginLibrary(PluginLibrary& library, std::string& error);

// What the command says when a job needs GetModuleOfFormat and the library lacks it.
std::string TooOldForFormat2(const PluginLibrary& library);
