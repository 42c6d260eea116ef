// The library's one export.
#include <new>

#include "module/mp3_module.h"

extern "C" Module* GetModule(intptr_t listener) {
  return new (std::nothrow) MP3Module(reinterpret_cast<ProgressListener*>(listener));
}
