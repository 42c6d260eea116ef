// The decisions that code one spectral value, in the order the decoder learns them. Indices
// that mix ×, +, <<, comparisons, & and | without parentheses follow C precedence.
#include "model/coefficient_coder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

SpectralSubModel::SpectralSubModel(int modelClass_) : modelClass(modelClass_) {
  // The adaptive bits and maps initialise themselves; histories start at 0.
  std::fill(std::begin(at), std::end(at), AtIndex{});
  std::fill(&zeroBigHistory[0][0], &zeroBigHistory[0][0] + sizeof zeroBigHistory, uint8_t(0));
  std::fill(&zeroSmallHistory[0][0], &zeroSmallHistory[0][0] + sizeof zeroSmallHistory, uint8_t(0));
  std::fill(&oneHistory[0][0], &oneHistory[0][0] + sizeof oneHistory, uint8_t(0));
  std::fill(&twoHistory[0][0], &twoHistory[0][0] + sizeof twoHistory, uint8_t(0));
  std::fill(&threeHistory[0][0], &threeHistory[0][0] + sizeof threeHistory, uint8_t(0));
  std::fill(&signOneHistory[0][0], &signOneHistory[0][0] + sizeof signOneHistory, uint8_t(0));
  std::fill(&signLargerHistory[0][0], &signLargerHistory[0][0] + sizeof signLargerHistory, uint8_t(0));
}

namespace {

// What the contexts of value k are built from; fixed before its first decision.
struct Neighbourhood {
  int k, ch, sf, band, n, m;
  int a1, a2, a3, q1;  // |V1[k]|, |V2[k]|, |V3[k]|, |P1|
  int zr;              // how far back the last non-zero value of this granule is, 0 .. 3
  bool bigZone;        // k < m
  int c2, c3;          // |P2| > 2, |P3| > 2 where they exist
};

// The parts of the context indices that depend on k alone, looked up rather than recomputed
// for every value.
struct IndexTermsOfK {
  uint16_t zeroBig;    // (k / 2) × 28
  uint16_t zeroSmall;  // (k / 2) × 6
  uint16_t one;        // 12 × D of the magnitude-1 primary
  uint8_t zone;        // (k > 16) + (k > 60) + (k > 100) + (k > 200)
  uint8_t past64;      // k > 64
};

constexpr auto kIndexTerms = [] {
  std::array<IndexTermsOfK, SpectralSubModel::kValues> terms{};
  for (int k = 0; k < SpectralSubModel::kValues; ++k) {
    const int D = k <= 60 ? k : k / 2 + 30;
    terms[k] = {uint16_t((k / 2) * 28), uint16_t((k / 2) * 6), uint16_t(12 * D),
                uint8_t((k > 16) + (k > 60) + (k > 100) + (k > 200)), uint8_t(k > 64)};
  }
  return terms;
}();

inline void Shift(uint8_t& history, int bit) { history = uint8_t(history << 1 | bit); }

// The tables one decision reads, found before it is coded: the indices of the decisions that
// may follow depend only on what is known at the start of a value, so their tables can be
// fetched from memory while the earlier decisions are still being coded.
template <int K>
struct Decision {
  AdaptiveBit* primary;
  MapRecord<K>* map;
  uint8_t* history;
};

template <int K>
[[gnu::always_inline]] inline void Prefetch(const Decision<K>& d) {
  __builtin_prefetch(d.primary);
  __builtin_prefetch(d.map);
  __builtin_prefetch(reinterpret_cast<const char*>(d.map + 1) - 1);
}

template <int K, class Bits, class Refinement = NoRefinement>
[[gnu::always_inline]] inline int Code(Bits& coder, const Decision<K>& d, const uint16_t* primaryRate, int limit,
                                       const uint16_t* mapRate, int bit, Refinement&& refinement = Refinement{}) {
  const int b = CodeTwoStageBit(coder, *d.primary, primaryRate, limit, *d.map, mapRate, bit, refinement);
  Shift(*d.history, b);
  return b;
}


// The first model adds nothing to its decisions.
struct FirstModel {
  [[gnu::always_inline]] void Prepare(const SpectralSubModel&, Neighbourhood&, const CoefficientRun&) {}
  [[gnu::always_inline]] NoRefinement Refine(int) const { return {}; }
  [[gnu::always_inline]] void Coded(int, int, CoefficientRun&) const {}
};

// 256 × 2^(-3d/16): how a quantised magnitude scales when the exponent of its step grows by d
// (a magnitude goes as the step to the power -3/4, and the exponent counts quarter octaves).
inline constexpr auto kStepScale = [] {
  std::array<uint16_t, 65> table{};
  constexpr int64_t kRatio = 57548;  // 2^(-3/16) × 65536, applied by repeated multiplication
  for (int d = 0; d <= 32; ++d) {
    int64_t down = 1 << 16, up = 1 << 16;
    for (int i = 0; i < d; ++i) {
      down = (down * kRatio + 32768) >> 16;
      up = (up << 16) / kRatio;
    }
    table[32 + d] = uint16_t(std::min<int64_t>((down + 128) >> 8, 65535));
    table[32 - d] = uint16_t(std::min<int64_t>((up + 128) >> 8, 65535));
  }
  return table;
}();

// A magnitude quantised with a step whose exponent is `d` below this one's, as this step would
// have quantised it.
inline int AtThisStep(int magnitude, int d) { return (magnitude * kStepScale[32 + std::clamp(d, -32, 32)] + 128) >> 8; }

// A change of global gain in 7 steps: 4 is a factor of 2 in the quantiser's step.
inline int GainStep(int change) {
  return change <= -6 ? 0 : change <= -3 ? 1 : change < 0 ? 2 : change == 0 ? 3 : change < 3 ? 4 : change < 6 ? 5 : 6;
}

// A decision of the second model: the first model's probability, mixed with two counters.
struct MixedDecision {
  // Measured on real music: slower counters and a faster or slower mixer all lost. A third
  // counter, of the first probability in context, gained 0.03 points for a tenth of the time.
  static constexpr int kNearLimit = 127, kLevelLimit = 255, kMixerRate = 24;
  // Weights stay within ±4, so the sum of four products fits 32 bits.
  static constexpr int kWeightBound = (4 << 16) - 1;
  mixing::Counter* near;
  mixing::Counter* level;
  mixing::MixerWeights<MixingContexts::kInputs>* mixer;
  int x[MixingContexts::kInputs];
  int mixed;

  [[gnu::always_inline]] int Probability(int q) {
    const int first = std::clamp(4096 - (q >> 3), 1, 4095);  // of a 1
    x[0] = mixing::Stretch(first);
    x[1] = mixing::Stretch(near->P12());
    x[2] = mixing::Stretch(level->P12());
    x[3] = 256;
    int dot = 0;
    for (int i = 0; i < MixingContexts::kInputs; ++i) dot += mixer->w[i] * x[i];
    mixed = mixing::SquashInRange(std::clamp(dot >> 16, -2047, 2047));
    return std::clamp(32768 - mixed * 8, 1, 32767);
  }

  [[gnu::always_inline]] void Update(int bit) {
    const int error = ((bit << 12) - mixed) * kMixerRate;
    for (int i = 0; i < MixingContexts::kInputs; ++i)
      mixer->w[i] = std::clamp(mixer->w[i] + ((x[i] * error) >> 16), -kWeightBound, kWeightBound);
    near->Update(bit, kNearLimit);
    level->Update(bit, kLevelLimit);
  }
};

// 0, 1, 2-3, 4-6, 7 and more.
inline constexpr uint8_t kBucket5[8] = {0, 1, 2, 2, 3, 3, 3, 4};
inline int Bucket5(int v) { return kBucket5[std::min(v, 7)]; }

constexpr auto kLevelBucket = [] {
  std::array<uint8_t, 34> b{};
  constexpr int kEnds[11] = {0, 1, 2, 3, 4, 6, 8, 12, 16, 24, 32};
  for (int v = 0; v < 34; ++v) {
    int i = 0;
    while (i < 11 && v > kEnds[i]) ++i;
    b[v] = uint8_t(i);
  }
  return b;
}();

// The second model. Its first model sees the last two granules' magnitudes at k as this
// granule's step would have quantised them (the raw values mislead wherever the gain or a scale
// factor moved); its counters see the other channel of the granule (likewise scaled), the
// previous granule's neighbours at k - 1 and k + 1, the gain's changes and the local level.
struct SecondModel {
  MixingContexts& t;
  const int16_t* other;  // channel 0's values when this is channel 1, else null
  int option;            // 0 without the other channel, 1 left/right, 2 mid/side
  int gain;              // the difference of the two channels' global gains, in 7 steps
  int change;            // the change of global gain since the class's last granule, in 7 steps
  const int16_t* exponent;       // of each band's step, in this granule
  const int16_t* lastExponent;   // in the class's last granule
  const int16_t* olderExponent;  // and in the one before it
  const int16_t* otherExponent;  // the other channel's in this granule

  // Per value: the shared parts of its decisions' indices, and what its sign's contexts need.
  int nearIndex = 0, levelIndex = 0, mixerIndex = 0;
  int o0 = 0, otherSign = 0, previousSign = 0, signHere = 0;
  uint32_t agree = 0;

  [[gnu::always_inline]] void Prepare(const SpectralSubModel& sm, Neighbourhood& c, const CoefficientRun& run) {
    const int k = c.k;
    const int shift = exponent[c.band] - lastExponent[c.band];
    c.a1 = AtThisStep(c.a1, shift);
    c.a2 = AtThisStep(c.a2, exponent[c.band] - olderExponent[c.band]);
    const int q1 = std::min(c.q1, 3);
    const int p2 = std::abs(run.P2);
    int level;
    o0 = otherSign = 0;
    if (other) {
      const int toOther = exponent[c.band] - otherExponent[c.band];
      o0 = AtThisStep(std::abs(other[k]), toOther);
      const int oN =
          AtThisStep((k > 0 ? std::abs(other[k - 1]) : 0) + (k < 575 ? std::abs(other[k + 1]) : 0), toOther);
      otherSign = other[k] > 0 ? 1 : other[k] < 0 ? 2 : 0;
      nearIndex = option * 700 + ((Bucket5(o0) * 5 + Bucket5(oN)) * 4 + q1) * 7 + gain;
      level = c.q1 + p2 + c.a1 + o0;
    } else {
      const int pN = AtThisStep((k > 0 ? sm.at[k - 1].magnitude[1] : 0) + (k < 575 ? sm.at[k + 1].magnitude[0] : 0),
                                shift);
      nearIndex = ((Bucket5(c.a1) * 5 + Bucket5(pN)) * 4 + q1) * 7 + change;
      level = c.q1 + p2 + c.a1 + c.a2;
    }
    levelIndex = ((other != nullptr) * 36 + k / 16) * 12 + kLevelBucket[std::min(level, 33)];
    mixerIndex = option * 12 + std::min(k / 48, 11);
    // Most values are zeros: their signs' contexts are put together only when one comes.
    previousSign = run.P1 > 0 ? 1 : run.P1 < 0 ? 2 : 0;
    agree = run.agree;
    signHere = int(sm.at[k].S & 1);
  }

  [[gnu::always_inline]] MixedDecision Refine(int decision) {
    if (decision == MixingContexts::kSignOfOne || decision == MixingContexts::kSignLarger) {
      const int signNear = (((option * 3 + otherSign) * 5 + Bucket5(o0)) * 3 + previousSign) * 4 + int(agree & 3);
      const int signLevel = ((option * 3 + otherSign) * 16 + int(agree & 15)) * 2 + signHere;
      return {&t.near[decision][signNear], &t.level[decision][signLevel], &t.mixer[decision][mixerIndex], {}, 0};
    }
    return {&t.near[decision][nearIndex], &t.level[decision][levelIndex], &t.mixer[decision][mixerIndex], {}, 0};
  }

  // Whether the sign agreed with the other channel's, where both are non-zero.
  [[gnu::always_inline]] void Coded(int k, int x, CoefficientRun& run) const {
    if (other && x != 0 && other[k] != 0) run.agree = run.agree << 1 | uint32_t((x < 0) == (other[k] < 0));
  }
};

// The zero flag (1 for x = 0) in the big zone.
[[gnu::always_inline]] inline Decision<9> ZeroBigDecision(SpectralSubModel& sm, const Neighbourhood& c,
                                                          const CoefficientRun& run) {
  const int X = c.zr > 1;
  const int Y = std::min(c.a1, 3) + (c.a1 > 5);
  const int Z = Y + (std::min(c.q1, 3) + (c.q1 > 4)) * 5;
  const int F = (c.k >= 1) & (run.PG == 0) & (c.a1 == 0);
  uint8_t& h = sm.zeroBigHistory[c.ch][2 * Y + X];
  return {&sm.zeroBigPrimary[kIndexTerms[c.k].zeroBig + std::min(c.sf, 5) + (c.sf > 7) + 7 * std::min(c.a2, 3)],
          &sm.zeroBigMap[c.ch][((X + (c.zr > 2) + (2 * Z + F) * 3) * 8) | (h & 7)], &h};
}

// The zero flag in the small zone.
[[gnu::always_inline]] inline Decision<9> ZeroSmallDecision(SpectralSubModel& sm, const Neighbourhood& c,
                                                            const CoefficientRun& run, const GrInfo& granule) {
  const int X = c.zr > 1;
  const int i = std::min(c.sf, 1) + 2 * X;
  const int Q = std::min(c.q1, 2) + (c.q1 > 4);
  const int X2 = X + 2 * ((c.a1 > 5) + std::min(c.a1, 1) + 3 * Q);
  const int F = (c.k >= 2) & (run.P2 == 0) & (run.P1 == 0);
  uint8_t& h = sm.zeroSmallHistory[c.ch][i];
  const int R = std::min(std::countr_one(h), 5);
  // A decoded record holds a 1-bit field here; the mask keeps any other value in the table.
  const int count1 = granule.count1table_select & 1;
  return {&sm.zeroSmallPrimary[kIndexTerms[c.k].zeroSmall + std::min(c.sf, 2)],
          &sm.zeroSmallMap[c.ch][(((2 * X2 + F) * 6) + R) * 2 + count1], &h};
}

// The magnitude-1 flag of the big zone (1 for M = 1).
[[gnu::always_inline]] inline Decision<6> MagnitudeOneDecision(SpectralSubModel& sm, const Neighbourhood& c,
                                                               const CoefficientRun& run) {
  const int i = (c.a1 > 1) + (c.a1 > 2);
  const int X = std::min(c.a1, 4) + 5 * (std::min(c.q1, 4) + (c.q1 > 6));
  const int T = c.k < 1 ? 0 : run.PG > 2;
  uint8_t& h = sm.oneHistory[c.ch][i];
  const int Y = (c.a2 > 2) + (c.a2 > 4) + 3 * std::min(c.sf, 3) + kIndexTerms[c.k].one;
  return {&sm.onePrimary[(2 * Y + c.c2) * 2 + c.c3],
          &sm.oneMap[c.ch][((((2 * X + T) * 8 | (h & 7)) * 2 + c.ch) * 2) | kIndexTerms[c.k].past64], &h};
}

// The sign of magnitude 1 (1 for negative).
[[gnu::always_inline]] inline Decision<7> SignOfOneDecision(SpectralSubModel& sm, const Neighbourhood& c,
                                                            const CoefficientRun& run) {
  const uint32_t Sk = sm.at[c.k].S;
  const int s8 = int((Sk << 1) & 1023) | (c.k < c.m);
  const int v = (((2 * (c.a1 == 0) | int(Sk & 1)) * 2 + (run.P1 == 0)) * 2) | (run.P1 < 0);
  uint8_t& h = sm.signOneHistory[c.ch][v];
  const int zone = kIndexTerms[c.k].zone + (c.k >= c.m);
  return {&sm.signOnePrimary[(c.a2 > 0) + (c.a2 > 1) + 3 * (2 * s8 + c.ch)],
          &sm.signOneMap[c.ch][((int(Sk & 1) + 2 * ((c.a1 == 0) + 2 * zone)) * 4) | (h & 3)], &h};
}

// The neighbourhood level L of a magnitude of 2 or more, and its class C (2 .. 9).
struct Level {
  int L, C;
};

[[gnu::always_inline]] inline Level NeighbourhoodLevel(const SpectralSubModel& sm, const Neighbourhood& c) {
  const int L = (12 * c.a1 + 6 * c.a2 + 5 * sm.at[c.k].A) / 53;
  const int C = int(std::bit_width(uint32_t(std::max(1, (462 * L) >> 8) - 1))) + 1;
  return {L, std::clamp(C, 2, 9)};
}

// The decisions of a magnitude of 2 or more that every such value reaches or may reach soon:
// the flags for 2 and 3 and the sign (whose primary is one of two neighbours, by M > 16).
struct LargerDecisions {
  Decision<6> two, three;
  Decision<8> sign;
};

[[gnu::always_inline]] inline LargerDecisions FindLargerDecisions(SpectralSubModel& sm, const Neighbourhood& c,
                                                                  const CoefficientRun& run, int C) {
  const int Cm2 = C - 2;
  LargerDecisions d;
  {
    uint8_t& h = sm.twoHistory[c.ch][std::min(c.a1, 5)];
    const int aW = 2 * ((c.a1 > 1) + (c.a1 > 2) + (c.a1 > 4)) | (c.a2 > 2);
    const int I =
        ((c.q1 > 1) + (c.q1 > 2) + (c.q1 > 3)) |
        4 * ((2 * ((sm.at[c.k].H2 & 1) | 2 * ((aW << 1) | (c.a3 > 2)))) | (((run.LVL * 564) >> 8) < c.q1));
    d.two = {&sm.twoPrimary[12 * (2 * (2 * I + c.c2) + c.c3) + 2 * std::min(Cm2, 5) + c.ch],
             &sm.twoMap[c.ch][std::min(c.sf, 6) + 7 * ((c.band << 2) | (h & 3))], &h};
  }
  {
    uint8_t& h = sm.threeHistory[c.ch][std::min(c.a1, 4)];
    const int Y3 = (c.q1 > 2) + (c.q1 > 4) +
                   3 * ((2 * ((sm.at[c.k].H3 & 1) | 2 * ((c.a2 > 4) | 2 * ((c.a1 > 4) + (c.a1 > 2))))) |
                        (((run.LVL * 666) >> 8) < c.q1));
    d.three = {&sm.threePrimary[2 * (std::min(Cm2, 5) + 6 * (2 * (2 * Y3 + c.c2) + c.c3)) + c.ch],
               &sm.threeMap[c.ch][std::min(c.sf, 4) + 5 * (((c.band / 2) << 2) | (h & 3))], &h};
  }
  {
    const uint32_t Sk = sm.at[c.k].S;
    const int v =
        ((((int(Sk & 1) | 2 * (c.a1 == 0)) * 2 + (run.P1 == 0)) * 2 | (run.P1 < 0)) * 2) | (run.P2 < 0);
    uint8_t& h = sm.signLargerHistory[c.ch][v];
    const int zone = kIndexTerms[c.k].zone;
    const int near = int(Sk & 3) | 4 * ((c.a1 > 0) + (c.a1 > 1) + (c.a1 > 4));
    // The entry for M <= 16; the one for M > 16 lies 3 entries further.
    d.sign = {&sm.signLargerPrimary[3 * (2 * c.ch + 4 * int(Sk & 2047)) + (c.a2 > 0) + (c.a2 > 2)],
              &sm.signLargerMap[c.ch][((zone + 5 * near) * 4) | (h & 3)], &h};
  }
  return d;
}

// M >= 2 through the flags for 2, 3, 4 .. 8, the escape flag and the tree or the
// raw bits. Returns the coded magnitude.
template <class Bits, class Model>
[[gnu::always_inline]] inline int CodeLargerMagnitude(SpectralSubModel& sm, Bits& coder,
                                                      const Neighbourhood& c, const CoefficientRun& run,
                                                      const LargerDecisions& d, int C, int M, Model& model) {
  const int Cm2 = C - 2;
  {
    const int b = Code(coder, d.two, c.k <= 60 ? rate150_800 : rate200_1050, 3276, rate512_3200, M == 2,
                       model.Refine(MixingContexts::kTwo));
    sm.at[c.k].H2 = sm.at[c.k].H2 << 1 | uint32_t(b);
    if (b) return 2;
  }
  {
    const int b = Code(coder, d.three, rate200_1050, 2340, rate400_2400, M == 3, model.Refine(MixingContexts::kThree));
    sm.at[c.k].H3 = sm.at[c.k].H3 << 1 | uint32_t(b);
    if (b) return 3;
  }
  {  // 4 .. 8, one flag each
    const int E = (c.q1 > 4) + (c.q1 > 8) + 3 * ((c.a1 > 4) + (c.a1 > 8));
    const int e2 = c.k < 2 ? 0 : std::abs(run.P2) > 4;
    const int index = ((std::min(c.sf, 2) + 5 * (std::min(Cm2, 6) + 8 * (2 * E + e2))) * 2 + c.ch);
    for (int j = 4; j <= 8; ++j) {
      const int b = CodeTwoStageBit(coder, sm.unaryPrimary[j - 4][index], rate200_1050, 2048,
                                    sm.unaryMap[j - 4][c.ch][c.band], rate400_2400, M == j,
                                    model.Refine(MixingContexts::kFour + j - 4));
      if (b) return j;
    }
  }
  const int escape = CodeTwoStageBit(coder, sm.escapePrimary[C], rate400_2400, 2048, sm.escapeMap[c.ch],
                                     rate350_2050, M >= 512);
  if (escape) {
    // 512 .. 8206 as plain bits; a larger magnitude in an encoded record comes out as the
    // value the bounds force, and that is what both sides store.
    return CodeBoundedBits<14>(
        M, 511, 8207, [&](int, int bit) __attribute__((always_inline)) {
          return CodeBitWithProbability(coder, bit, 0x4000);
        });
  }
  const int levelClass = (c.a1 > 16) | 2 * ((c.q1 > 16) + (c.q1 > 32) + (c.q1 > 64));
  AdaptiveBit* primaries = sm.escapeTreePrimary[Cm2][std::min(c.sf, 4)];
  MapRecord<10>* maps = sm.escapeTreeMap[levelClass];
  return CodeBoundedBits<9>(
      M, 8, 512, [&](int node, int bit) __attribute__((always_inline)) {
        // Either child comes next: its tables load while this node is coded.
        if (node < SpectralSubModel::kTreeNodes / 2) {
          __builtin_prefetch(&primaries[2 * node]);
          __builtin_prefetch(&maps[2 * node]);
          __builtin_prefetch(reinterpret_cast<const char*>(&maps[2 * node + 2]) - 1);
        }
        return CodeTwoStageBit(coder, primaries[node], rate400_2400, 3276, maps[node], rate200_1050, bit);
      });
}

// kZone 1 promises k < m (the big zone), 2 promises k >= m, 0 promises nothing; the promise
// only lets the compiler drop what the zone cannot reach.
template <bool kDecoding, int kZone = 0, class Model = FirstModel>
[[gnu::always_inline]] inline void CodeValueIn(SpectralSubModel& sm, LocalCoder<kDecoding>& coder,
                                               int16_t& value, const GrInfo& granule, int sf, int band, int n,
                                               int m, int ch, int k, CoefficientRun& run, Model&& model = Model{}) {
  Neighbourhood c;
  c.k = k;
  c.ch = ch;
  c.sf = sf;
  c.band = band;
  c.n = n;
  c.m = m;
  SpectralSubModel::AtIndex& at = sm.at[k];
  uint64_t magnitudes;
  std::memcpy(&magnitudes, at.magnitude, sizeof magnitudes);
  c.a1 = int(magnitudes & 0xFFFF);
  c.a2 = int(magnitudes >> 16 & 0xFFFF);
  c.a3 = int(magnitudes >> 32 & 0xFFFF);
  c.q1 = std::abs(run.P1);
  // The first non-zero among P1, P2, P3, without a branch on the values.
  c.zr = std::countr_zero(unsigned(run.P1 != 0) | unsigned(run.P2 != 0) << 1 | unsigned(run.P3 != 0) << 2 | 8u);
  c.bigZone = kZone == 1 ? true : kZone == 2 ? false : k < m;
  c.c2 = k < 2 ? 0 : std::abs(run.P2) > 2;
  c.c3 = k < 3 ? 0 : std::abs(run.P3) > 2;
  model.Prepare(sm, c, run);

  // When decoding these start empty and are filled in decision by decision.
  const int given = kDecoding ? 0 : value;
  int M = std::abs(given);
  int x = 0;

  // At n - 1 and m - 1 the value is known to be non-zero, and no history moves
  // for a decision that is implied rather than coded.
  const bool zeroImplied = k == n - 1 || k == m - 1;
  // At m - 1 the magnitude is at least 2; in the small zone it is 1.
  const bool oneImplied = kZone != 2 && k == m - 1;
  int isZero = 0;
  decision_costs::Name(decision_costs::kZeroFlags);
  if (!zeroImplied) {
    if (c.bigZone)
      isZero = Code(coder, ZeroBigDecision(sm, c, run), rate100_460, 5461, rate400_2400, M == 0,
                    model.Refine(MixingContexts::kZeroBig));
    else
      isZero = Code(coder, ZeroSmallDecision(sm, c, run, granule), rate100_460, 3276, rate200_1050, M == 0,
                    model.Refine(MixingContexts::kZeroSmall));
  }
  if (!isZero) {
    // The sign of a 1 is found first, so that its tables load while the magnitude-1 flag is
    // coded (the encoder knows whether it comes).
    Decision<7> signOfOne{};
    if (!oneImplied && (kDecoding || M == 1)) {
      signOfOne = SignOfOneDecision(sm, c, run);
      if (c.bigZone) Prefetch(signOfOne);
    }
    int isOne;
    decision_costs::Name(decision_costs::kOneFlags);
    if (oneImplied)
      isOne = 0;
    else if (!c.bigZone)
      isOne = 1;
    else
      isOne = Code(coder, MagnitudeOneDecision(sm, c, run), rate45_200, c.k <= 60 ? 3276 : 5461, rate350_2050,
                   M == 1, model.Refine(MixingContexts::kOne));

    if (isOne) {
      M = 1;
      decision_costs::Name(decision_costs::kSigns);
      x = Code(coder, signOfOne, rate999_5000, 7281, rate175_950, given < 0, model.Refine(MixingContexts::kSignOfOne))
              ? -1
              : 1;
    } else {
      const Level level = NeighbourhoodLevel(sm, c);
      const LargerDecisions larger = FindLargerDecisions(sm, c, run, level.C);
      Prefetch(larger.three);
      Prefetch(larger.sign);
      decision_costs::Name(decision_costs::kMagnitudes);
      M = CodeLargerMagnitude(sm, coder, c, run, larger, level.C, M, model);
      decision_costs::Name(decision_costs::kSigns);
      Decision<8> sign = larger.sign;
      sign.primary += 3 * (M > 16);
      x = Code(coder, sign, rate120_600, 4096, rate250_1400, given < 0, model.Refine(MixingContexts::kSignLarger))
              ? -M
              : M;
      at.A = M + (6 * at.A) / 7;
      run.LVL = level.L;
    }
  }

  model.Coded(k, x, run);
  // The histories move at every coded position, zeros included.
  run.P3 = run.P2;
  run.P2 = run.P1;
  run.P1 = x;
  at.S = at.S << 1 | uint32_t(x < 0);
  value = int16_t(x);
  run.PG = c.a1;
  magnitudes = (magnitudes << 16 | uint64_t(M)) & 0xFFFFFFFFFFFFu;
  std::memcpy(at.magnitude, &magnitudes, sizeof magnitudes);
}

}  // namespace

void CodeCoefficient(SpectralSubModel& sm, Coder& coder, int16_t& value, const GrInfo& granule, int sf,
                     int band, int n, int m, int ch, int k, CoefficientRun& run) {
  if (coder.decoding) {
    LocalCoder<true> local(coder);
    CodeValueIn(sm, local, value, granule, sf, band, n, m, ch, k, run);
    local.Store();
  } else {
    LocalCoder<false> local(coder);
    CodeValueIn(sm, local, value, granule, sf, band, n, m, ch, k, run);
    local.Store();
  }
}

namespace {

// One copy per direction, channel and model: the channel is part of most context indices.
template <bool kDecoding, int ch, bool kSecond>
void CodeGranuleIn(SpectralSubModel& sm, Coder& coder, int16_t* values, const GrInfo& granule,
                   const uint16_t* scaleFactors, const uint8_t* bandOf, int n, int m, CoefficientRun& run,
                   const GranuleMixing& mixing) {
  static constexpr uint16_t kNoScaleFactors[SpectralSubModel::kBands] = {};
  if (!scaleFactors) scaleFactors = kNoScaleFactors;
  LocalCoder<kDecoding> local(coder);
  CoefficientRun r = run;
  using Model = std::conditional_t<kSecond, SecondModel, FirstModel>;
  Model model = [&] {
    if constexpr (kSecond)
      return SecondModel{*mixing.contexts, mixing.other, mixing.other ? 1 + mixing.midSide : 0,
                         std::clamp(mixing.gainDifference / 4 + 3, 0, 6), GainStep(mixing.gainChange),
                         mixing.exponent, mixing.lastExponent, mixing.olderExponent, mixing.otherExponent};
    else
      return FirstModel{};
  }();
  const int bigEnd = std::clamp(m, 0, n);
  for (int k = 0; k < bigEnd; ++k) {
    const int band = bandOf[k];
    CodeValueIn<kDecoding, 1>(sm, local, values[k], granule, scaleFactors[band], band, n, m, ch, k, r, model);
  }
  for (int k = bigEnd; k < n; ++k) {
    const int band = bandOf[k];
    CodeValueIn<kDecoding, 2>(sm, local, values[k], granule, scaleFactors[band], band, n, m, ch, k, r, model);
  }
  local.Store();
  run = r;
}

}  // namespace

MixingContexts::MixingContexts() {
  // The mixer starts by trusting the first model alone, and the maps pass it on unchanged.
  for (auto& decision : mixer)
    for (auto& weights : decision) {
      weights.w[0] = 1 << 16;
      for (int i = 1; i < kInputs; ++i) weights.w[i] = 0;
    }
  for (int32_t& gain : lastGain) gain = 0;
  for (auto& bands : lastExponent)
    for (int16_t& e : bands) e = 0;
  for (auto& bands : olderExponent)
    for (int16_t& e : bands) e = 0;
}

void CodeGranuleValues(SpectralSubModel& sm, Coder& coder, int16_t* values, const GrInfo& granule,
                       const uint16_t* scaleFactors, const uint8_t* bandOf, int n, int m, int ch,
                       CoefficientRun& run, const GranuleMixing& mixing) {
  n = std::clamp(n, 0, SpectralSubModel::kValues);
  using Granule = void (*)(SpectralSubModel&, Coder&, int16_t*, const GrInfo&, const uint16_t*, const uint8_t*,
                           int, int, CoefficientRun&, const GranuleMixing&);
  static constexpr Granule kCopies[2][2][2] = {
      {{CodeGranuleIn<false, 0, false>, CodeGranuleIn<false, 1, false>},
       {CodeGranuleIn<true, 0, false>, CodeGranuleIn<true, 1, false>}},
      {{CodeGranuleIn<false, 0, true>, CodeGranuleIn<false, 1, true>},
       {CodeGranuleIn<true, 0, true>, CodeGranuleIn<true, 1, true>}}};
  kCopies[mixing.contexts != nullptr][coder.decoding != 0][ch != 0](sm, coder, values, granule, scaleFactors, bandOf,
                                                                   n, m, run, mixing);
  for (int k = n; k < SpectralSubModel::kValues; ++k) {
    values[k] = 0;
    SkipCoefficient(sm, k);
  }
}
