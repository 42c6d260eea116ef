// Contexts of the header and side-information model. (Placeholder, filled in by its author.)
#pragma once
#include "coder/coder.h"

struct HeaderContexts {
  // The inter-frame histories that every coding job starts from 0.
  void StartStream() {}
};
