// The library's exports: the factory every host knows, and the one that chooses the format.
#include <new>

#include "module/mp3_module.h"

extern "C" Module* GetModule(intptr_t listener) {
  return new (std::nothrow) MP3Module(reinterpret_cast<ProgressListener*>(listener));
}

extern "C" Module* GetModuleOfFormat(intptr_t listener, int format) {
  if (format != 1 && format != 2) return nullptr;
  return new (std::nothrow) MP3Module(reinterpret_cast<ProgressListener*>(listener), format);
}
