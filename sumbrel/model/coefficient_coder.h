// The coefficient coder: one quantised spectral value through a spectral sub-model. A value
// becomes a zero flag, a magnitude-1 flag, flags for 2 and 3, unary flags for 4 to 8, an
// escape flag for 512 and more, a tree for 9 to 511, raw bits for 512 to 8206, and a sign;
// every modelled decision is a two-stage adaptive bit.
#pragma once
#include <cstdint>
#include <type_traits>

#include "bitstream/mp3.h"
#include "coder/coder.h"
#include "model/mixing.h"
#include "model/two_stage_bit.h"

// Every context and history of one sub-model class, sized from the largest index each
// context can form. Only fixed arrays and integers, without padding: the model hashes the
// raw bytes.
struct SpectralSubModel {
  static constexpr int kValues = 576;

  // Zero flag in the big zone: map ((2 + 49 × 3) × 8 | 7), primary (287 × 28 + 27).
  static constexpr int kZeroBigMaps = 1200, kZeroBigPrimaries = 8064;
  // Zero flag in the small zone: map ((47 × 6 + 5) × 2 + 1), primary (287 × 6 + 2).
  static constexpr int kZeroSmallMaps = 576, kZeroSmallPrimaries = 1728;
  // Magnitude-1 flag: map (((59 × 8 | 7) × 2 + 1) × 2 | 1), primary (2 × 3815 + 1) × 2 + 1.
  static constexpr int kOneMaps = 1920, kOnePrimaries = 15264;
  // Magnitude-2 flag: map 6 + 7 × 83, primary 12 × 1023 + 11 (I up to 255).
  static constexpr int kTwoMaps = 588, kTwoPrimaries = 12288;
  // Magnitude-3 flag: map 4 + 5 × 43, primary 2 × (5 + 6 × 287) + 1 (Y3 up to 71).
  static constexpr int kThreeMaps = 220, kThreePrimaries = 3456;
  // Flags for 4 .. 8: primary (2 + 5 × (6 + 8 × 17)) × 2 + 1.
  static constexpr int kUnaryFlags = 5, kUnaryPrimaries = 1426;
  static constexpr int kBands = 21;
  // Escape: level classes C are 2 .. 9.
  static constexpr int kLevelClasses = 10;
  // Tree of 9 .. 511: nodes 1 .. 511; primaries per (C - 2, min(sf, 4)).
  static constexpr int kTreeNodes = 512, kTreePrimaryNodes = 513;
  // Sign of magnitude 1: primary 2 + 3 × 2047, map 23 × 4 | 3.
  static constexpr int kSignOnePrimaries = 6144, kSignOneMaps = 96;
  // Sign of larger magnitudes: primary 3 × 8191 + 2, map 79 × 4 | 3.
  static constexpr int kSignLargerPrimaries = 24576, kSignLargerMaps = 320;

  explicit SpectralSubModel(int modelClass);

  int32_t modelClass;

  // The histories at one index k, together because every value reads and moves them.
  struct AtIndex {
    // |V1|, |V2|, |V3|: the magnitude at k in the last, second last and third last granule
    // coded with this sub-model (no context reads their signs), then 0; read and shifted as
    // one 64-bit word.
    uint16_t magnitude[4];
    uint32_t S;   // signs
    uint32_t H2;  // outcomes of the magnitude-2 decision
    uint32_t H3;  // outcomes of the magnitude-3 decision
    int32_t A;    // magnitude average
  };
  AtIndex at[kValues];

  AdaptiveBit zeroBigPrimary[kZeroBigPrimaries];
  MapRecord<9> zeroBigMap[2][kZeroBigMaps];
  AdaptiveBit zeroSmallPrimary[kZeroSmallPrimaries];
  MapRecord<9> zeroSmallMap[2][kZeroSmallMaps];
  AdaptiveBit onePrimary[kOnePrimaries];
  MapRecord<6> oneMap[2][kOneMaps];
  AdaptiveBit twoPrimary[kTwoPrimaries];
  MapRecord<6> twoMap[2][kTwoMaps];
  AdaptiveBit threePrimary[kThreePrimaries];
  MapRecord<6> threeMap[2][kThreeMaps];
  AdaptiveBit unaryPrimary[kUnaryFlags][kUnaryPrimaries];
  MapRecord<6> unaryMap[kUnaryFlags][2][kBands];
  AdaptiveBit escapePrimary[kLevelClasses];
  MapRecord<6> escapeMap[2];
  AdaptiveBit escapeTreePrimary[8][5][kTreePrimaryNodes];
  // Per level class, then node, so that the two children of a node lie side by side.
  MapRecord<10> escapeTreeMap[8][kTreeNodes];
  AdaptiveBit signOnePrimary[kSignOnePrimaries];
  MapRecord<7> signOneMap[2][kSignOneMaps];
  AdaptiveBit signLargerPrimary[kSignLargerPrimaries];
  MapRecord<8> signLargerMap[2][kSignLargerMaps];

  // Decision histories per channel, shifted with each decision they serve.
  uint8_t zeroBigHistory[2][10];
  uint8_t zeroSmallHistory[2][4];
  uint8_t oneHistory[2][3];
  uint8_t twoHistory[2][6];
  uint8_t threeHistory[2][5];
  uint8_t signOneHistory[2][16];
  uint8_t signLargerHistory[2][32];
};

static_assert(std::has_unique_object_representations_v<SpectralSubModel>, "no padding bytes");
static_assert(sizeof(SpectralSubModel) == 864300);

// The running integers of one granule and channel, 0 at the start of each frame's spectral
// data: the previous three values, the neighbourhood level of the last value of magnitude 2
// or more, and the previous granule's value at the previous index.
struct CoefficientRun {
  int32_t P1 = 0, P2 = 0, P3 = 0;
  int32_t LVL = 0;
  int32_t PG = 0;  // its magnitude: no context reads its sign
  uint32_t agree = 0;  // second model: whether recent signs agreed with the other channel's
};

// The second model's tables, shared by every class: what it adds to a decision of the first
// (see mixing.h). One set per kind of decision, and the steps of the last granules per class.
struct MixingContexts {
  static constexpr int kBands = 22;
  // kFour .. kFour + 4: the flags for 4 .. 8.
  enum Decision { kZeroBig, kZeroSmall, kOne, kSignOfOne, kTwo, kThree, kSignLarger, kFour, kDecisions = kFour + 5 };
  static constexpr int kNear = 2112, kLevel = 1024, kMixers = 36, kInputs = 4;
  mixing::Counter near[kDecisions][kNear];    // the other channel's or previous granule's values
  mixing::Counter level[kDecisions][kLevel];  // the local level and the position
  mixing::MixerWeights<kInputs> mixer[kDecisions][kMixers];
  int32_t lastGain[8];  // global_gain of the last granule of each class
  int16_t lastExponent[8][kBands];  // each band's quantiser exponent in that granule
  int16_t olderExponent[8][kBands];  // and in the one before it
  MixingContexts();
};

static_assert(std::has_unique_object_representations_v<MixingContexts>, "no padding bytes: the model hashes them");

// Where a granule's values find what the second model adds: its tables, the values of the
// other channel of the granule (channel 0's, for channel 1), and whether the frame is mid/side.
struct GranuleMixing {
  MixingContexts* contexts = nullptr;  // null for the first model
  const int16_t* other = nullptr;
  bool midSide = false;
  int gainDifference = 0;  // this channel's global_gain less the other's
  int gainChange = 0;      // this granule's global_gain less the last one's of its class
  // Each band's quantiser exponent (in quarter octaves of the step) in this granule and in the
  // last granule of its class, so that the last values can be scaled to this one's step.
  const int16_t* exponent = nullptr;
  const int16_t* lastExponent = nullptr;
  const int16_t* olderExponent = nullptr;
  const int16_t* otherExponent = nullptr;  // the other channel's, with `other`
};

// Codes spectral value k of one granule and channel: `value` is read when encoding and
// written when decoding, and holds the coded value afterwards in both directions. sf is the
// band's scale factor for long-block classes, else 0; n and m are the granule's extents.
void CodeCoefficient(SpectralSubModel& model, Coder& coder, int16_t& value, const GrInfo& granule, int sf,
                     int band, int n, int m, int ch, int k, CoefficientRun& run);

// Codes values 0 .. n - 1 of one granule and channel in order, exactly as CodeCoefficient
// value by value, and skips n .. 575 (they become 0). scaleFactors holds the scale factor of
// each band for long-block classes and is nullptr otherwise; bandOf maps each index to its band.
void CodeGranuleValues(SpectralSubModel& model, Coder& coder, int16_t* values, const GrInfo& granule,
                       const uint16_t* scaleFactors, const uint8_t* bandOf, int n, int m, int ch,
                       CoefficientRun& run, const GranuleMixing& mixing = GranuleMixing{});

// A value that is not coded (past n, or past the byte budget): the values at k move one
// granule back and the newest becomes 0.
inline void SkipCoefficient(SpectralSubModel& model, int k) {
  uint16_t* const magnitude = model.at[k].magnitude;
  magnitude[2] = magnitude[1];
  magnitude[1] = magnitude[0];
  magnitude[0] = 0;
}
