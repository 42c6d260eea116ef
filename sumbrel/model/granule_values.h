// Contexts and per-file state of the spectral model: the extents m and n of each granule's
// values, big_values, the region counts and the table selection. The values themselves go
// through the coefficient coder and its sub-models (model/coefficient_coder.h).
#pragma once
#include <cstdint>
#include <type_traits>

#include "coder/coder.h"
#include "model/coefficient_coder.h"
#include "model/two_stage_bit.h"

// A 10-bit extent (0 .. 576) coded over a tree whose nodes are two-stage adaptive bits: per
// class, 13 primary tables chosen by the class's last extent / 48, and per node four maps
// chosen by the last two outcomes at that node.
struct ExtentTree {
  static constexpr int kClasses = 8, kPrimaryTables = 13, kNodes = 801;
  AdaptiveBit primary[kClasses][kPrimaryTables][kNodes];
  MapRecord<6> maps[kClasses][kNodes][4];
  uint8_t history[kClasses][kNodes];  // the last two bits coded at the node
  ExtentTree();
};

struct SpectralContexts {
  static constexpr int kClasses = 8;

  // ---- per-file state, set by StartStream ----
  int32_t lastM[kClasses];  // m and n of the last granule and channel of each class
  int32_t lastN[kClasses];
  int32_t m[2][2];  // of each granule and channel of the current frame
  int32_t n[2][2];
  uint8_t band[576];  // the band of each coefficient index, 0 .. 20

  // ---- contexts, set by the constructor only ----
  ExtentTree mTree;
  ExtentTree nTree;
  AdaptiveBit bigValuesOutOfRange;
  AdaptiveBit bigValuesTree[512];
  AdaptiveBit bigValuesIsP;
  AdaptiveBit bigValuesIsP1;
  AdaptiveBit region0Count[2][16];
  AdaptiveBit region1Count[2][16][8];
  AdaptiveBit tableSelect[32][3][32];  // [best table][region][node]

  SpectralContexts();
  // The band map and the remembered extents.
  void StartStream();
};

static_assert(std::has_unique_object_representations_v<SpectralContexts>, "no padding bytes");
static_assert(sizeof(ExtentTree) == 954792);
static_assert(sizeof(SpectralContexts) == 1925756);

// The table a region of big values is cheapest in among the candidates for its largest
// magnitude (0 when it is all zero); on equal cost the earlier candidate.
int BestTable(const int16_t* values, int from, int to);
