// Contexts of the spectral model. (Placeholder, filled in by its author.)
#pragma once
#include "coder/coder.h"

struct SpectralSubModel {
  explicit SpectralSubModel(int modelClass) : modelClass(modelClass) {}
  int modelClass;
};

struct SpectralContexts {
  // The per-file state: band map, last m and n per class and per granule and channel.
  void StartStream() {}
};
