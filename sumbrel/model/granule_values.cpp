// The main data of a frame besides scale factors and lengths: for every granule and channel
// the extents m and n of its values and big_values, then the values through the coefficient
// coder (in frequency order when a byte budget applies), then the region counts and the
// table of each region.
#include "model/granule_values.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "bitstream/layer3_data.h"
#include "model/huffman_bits.h"
#include "model/mp3_model.h"

ExtentTree::ExtentTree() { std::fill(&history[0][0], &history[0][0] + sizeof history, uint8_t(0)); }

SpectralContexts::SpectralContexts() { StartStream(); }

void SpectralContexts::StartStream() {
  static constexpr int kBandEnds[21] = {4,  8,  12,  16,  20,  24,  30,  36,  44,  52, 62,
                                        74, 90, 110, 134, 162, 196, 238, 288, 342, 576};
  for (int k = 0; k < 576; ++k)
    band[k] =
        uint8_t(std::count_if(std::begin(kBandEnds), std::end(kBandEnds), [k](int end) { return end <= k; }));
  std::fill(std::begin(lastM), std::end(lastM), 0);
  std::fill(std::begin(lastN), std::end(lastN), 0);
  std::fill(&m[0][0], &m[0][0] + 4, 0);
  std::fill(&n[0][0], &n[0][0] + 4, 0);
}

namespace {

constexpr int kMaxExtent = 576;
// The long-block bands' preemphasis, added to their scale factors where preflag is set.
constexpr int kPretab[21] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2};

// Classes 0, 2, 3 and 6 hold long blocks: their values see the band's scale factor.
constexpr bool kLongBlockClass[8] = {true, false, true, true, false, false, true, false};

// Plain stereo shares one class per block kind between the channels; mid/side gives the
// side channel classes of its own, intensity stereo each channel and block kind.
int SpectralClass(uint32_t header, const GrInfo& granule, int ch) {
  const int mode = header >> 6 & 3, modeExtension = header >> 4 & 3;
  const int isShort = granule.block_type == 2;
  if (mode == 1 && modeExtension == 2) return ch == 0 ? isShort : 6 + isShort;
  if (mode == 1 && (modeExtension == 1 || modeExtension == 3)) return 2 + 2 * isShort + ch;
  return isShort;
}

// m or n over the 10-bit tree of its class, values lo + 1 .. 576. Each node's maps are
// picked by a 2-bit history of the bits coded at that node in this tree and class.
int CodeExtent(ExtentTree& tree, Coder& coder, int modelClass, int last, int value, int lo, int limit,
               const uint16_t* mapRate) {
  AdaptiveBit* primary = tree.primary[modelClass][std::min(last / 48, ExtentTree::kPrimaryTables - 1)];
  return CodeBoundedBits<10>(value, lo, kMaxExtent + 1, [&](int node, int bit) {
    uint8_t& h = tree.history[modelClass][node];
    const int b = CodeTwoStageBit(coder, primary[node], rate20_100, limit, tree.maps[modelClass][node][h & 3],
                                  mapRate, bit);
    h = uint8_t((h << 1 | b) & 3);
    return b;
  });
}

// big_values is almost always (m + 1) / 2 or a little more, up to where n ends.
void CodeBigValues(MP3Model& model, GrInfo& granule, int m, int n) {
  SpectralContexts& sc = model.spectralModel;
  Coder& coder = model.coder;
  const int P = (m + 1) / 2;
  if (model.repackFrames) {
    granule.big_values = P;
    return;
  }
  const int T = std::min((n + 1) / 2, P + 2);
  int b = granule.big_values;
  int outOfRange = b < P || b > T;
  CodeBit(coder, sc.bigValuesOutOfRange, outOfRange, rate999_5000, LimitOfShift(11));
  if (outOfRange) {
    CodeTree<9>(sc.bigValuesTree, coder, b, -1, 289, rate250_1400, LimitOfShift(10));
  } else if (P == T) {
    b = P;
  } else {
    int isP = b == P;
    CodeBit(coder, sc.bigValuesIsP, isP, rate250_1400, LimitOfShift(10));
    if (isP) {
      b = P;
    } else if (P + 1 == T) {
      b = T;
    } else {
      int isP1 = b == P + 1;
      CodeBit(coder, sc.bigValuesIsP1, isP1, rate250_1400, LimitOfShift(10));
      b = isP1 ? P + 1 : P + 2;
    }
  }
  granule.big_values = b;
}

// Extents, then big_values, of one granule and channel.
void PrepareGranule(MP3Model& model, int gr, int ch, int modelClass) {
  SpectralContexts& sc = model.spectralModel;
  Coder& coder = model.coder;
  int m = 0, n = 0;
  if (!model.coder.decoding) {
    const int16_t* values = model.spectrum[gr][ch];
    for (int k = 0; k < 576; ++k) {
      if (values[k] != 0) n = k + 1;
      if (std::abs(values[k]) > 1) m = k + 1;
    }
  }
  m = CodeExtent(sc.mTree, coder, modelClass, sc.lastM[modelClass], m, -1, 4964, rate120_600);
  // n >= m: with a 0 at a position the value would stay below m.
  n = CodeExtent(sc.nTree, coder, modelClass, sc.lastN[modelClass], n, m - 1, 4096, rate150_800);
  sc.lastM[modelClass] = sc.m[gr][ch] = m;
  sc.lastN[modelClass] = sc.n[gr][ch] = n;
  CodeBigValues(model, model.gr_info[gr][ch], m, n);
}

// Value k of one granule and channel, or its skip when it lies at or past n or the budget.
inline void CodeValue(MP3Model& model, SpectralSubModel& sm, int gr, int ch, int k, bool coded,
                      CoefficientRun& run) {
  SpectralContexts& sc = model.spectralModel;
  int16_t& value = model.spectrum[gr][ch][k];
  if (!coded) {
    value = 0;
    SkipCoefficient(sm, k);
    return;
  }
  const int band = sc.band[k];
  const int sf = kLongBlockClass[sm.modelClass] ? model.scalefac[gr][ch][band] : 0;
  CodeCoefficient(sm, model.coder, value, model.gr_info[gr][ch], sf, band, sc.n[gr][ch], sc.m[gr][ch], ch, k,
                  run);
}

void CodeRegionCounts(MP3Model& model, GrInfo& granule, int ch) {
  SpectralContexts& sc = model.spectralModel;
  if (granule.window_switching_flag) {
    granule.region0_count = !model.IsMpeg1() && granule.block_type == 2 ? 5 : 7;
    granule.region1_count = 22;
    return;
  }
  if (model.repackFrames) {
    const int16_t* boundary = layer3::longBandBoundary[model.BandRow()];
    const int b = granule.big_values;
    // Region 0 takes about the first two sevenths of the big values, regions 0 and 1 six.
    // Both stay inside their 4-bit and 3-bit fields.
    int region0 = 0;
    for (int j = 1; j <= 15 && boundary[j] < 2 * b / 7; ++j) region0 = j;
    int region1 = 0;
    while (region1 < 7 && boundary[region0 + region1 + 2] < 6 * b / 7) ++region1;
    granule.region0_count = region0;
    granule.region1_count = region1;
    return;
  }
  CodeTree<4>(sc.region0Count[ch], model.coder, granule.region0_count, -1, 16, rate20_100, LimitOfShift(11));
  CodeTree<3>(sc.region1Count[ch][granule.region0_count], model.coder, granule.region1_count, -1, 8,
              rate28_128, LimitOfShift(11));
}

// Each region's table_select, coded in the tree of the table the values fit best.
void CodeTableSelection(MP3Model& model, GrInfo& granule, const int16_t* values) {
  SpectralContexts& sc = model.spectralModel;
  const int16_t* boundary = layer3::longBandBoundary[model.BandRow()];
  const int end = 2 * granule.big_values;
  const int r1 = std::min(end, int(boundary[granule.region0_count + 1]));
  int regionEnds[3] = {r1, end, end};
  int regions = 2;
  if (!granule.window_switching_flag) {
    const int r2 =
        std::min(end, int(boundary[std::min(22, granule.region0_count + granule.region1_count + 2)]));
    regionEnds[1] = r2;
    regions = 3;
  }
  int from = 0;
  for (int r = 0; r < regions; ++r) {
    const int best = BestTable(values, from, regionEnds[r]);
    if (model.repackFrames)
      granule.table_select[r] = best;
    else
      CodeTree<5>(sc.tableSelect[best][r], model.coder, granule.table_select[r], -1, 32, rate20_100,
                  LimitOfShift(14));
    from = regionEnds[r];
  }
}

}  // namespace

int BestTable(const int16_t* values, int from, int to) {
  struct Candidates {
    int count;
    int tables[3];
  };
  // By the largest magnitude D (above 15: 15 + its excess's bit length).
  // clang-format off
  static constexpr Candidates kCandidates[29] = {
      {0, {}},                                   // D = 0
      {1, {1}},                                  // 1
      {2, {2, 3}},                               // 2
      {2, {5, 6}},                               // 3
      {3, {7, 8, 9}},      {3, {7, 8, 9}},       // 4, 5
      {3, {10, 11, 12}},   {3, {10, 11, 12}},    // 6, 7
      {2, {13, 15}}, {2, {13, 15}}, {2, {13, 15}}, {2, {13, 15}},
      {2, {13, 15}}, {2, {13, 15}}, {2, {13, 15}}, {2, {13, 15}},  // 8 .. 15
      {2, {16, 24}},                             // 16
      {2, {17, 24}},                             // 17
      {2, {18, 24}},                             // 18
      {2, {19, 24}},                             // 19
      {2, {20, 25}},                             // 20
      {2, {20, 26}},                             // 21
      {2, {21, 28}},                             // 22
      {2, {22, 29}},                             // 23
      {2, {22, 30}},                             // 24
      {2, {23, 30}},                             // 25
      {2, {23, 31}}, {2, {23, 31}}, {2, {23, 31}},  // 26 .. 28
  };
  // clang-format on
  int D = 0;
  for (int i = from; i < to; ++i) D = std::max(D, std::abs(int(values[i])));
  if (D > 15) {
    int excess = D - 15, length = 0;
    for (; excess; excess >>= 1) ++length;
    D = 15 + length;
  }
  // A magnitude that no Layer III table can carry still picks among the widest ones.
  const Candidates& candidates = kCandidates[std::min(D, 28)];
  if (candidates.count == 0) return 0;
  // The candidates' costs in one pass: the sign bits and the count of linbits fields are
  // the same for every table, only the code lengths differ.
  const uint8_t* lengths[3] = {};
  int xMax[3] = {}, yLen[3] = {}, yMax[3] = {}, sums[3] = {};
  for (int c = 0; c < candidates.count; ++c) {
    const HuffmanShape& shape = huffmanShape[candidates.tables[c]];
    lengths[c] = huffLengths[candidates.tables[c]];
    xMax[c] = std::min(15, shape.xlen - 1);
    yMax[c] = std::min(15, shape.ylen - 1);
    yLen[c] = shape.ylen;
  }
  int signs = 0, wide = 0;
  const auto sumPairs = [&]<int kCount>() {
    for (int i = from; i < to; i += 2) {
      const int x = values[i], y = values[i + 1];
      const int ax = std::abs(x), ay = std::abs(y);
      signs += (x != 0) + (y != 0);
      wide += (ax >= 15) + (ay >= 15);
      for (int c = 0; c < kCount; ++c)
        if (lengths[c]) sums[c] += lengths[c][std::min(ax, xMax[c]) * yLen[c] + std::min(ay, yMax[c])];
    }
  };
  if (candidates.count == 1)
    sumPairs.operator()<1>();
  else if (candidates.count == 2)
    sumPairs.operator()<2>();
  else
    sumPairs.operator()<3>();
  int best = 0, bestCost = 99999;
  for (int c = 0; c < candidates.count; ++c) {
    const int table = candidates.tables[c];
    const int cost = lengths[c] ? sums[c] + signs + huffmanShape[table].linbits * wide : 0;
    if (cost < bestCost) {
      best = table;
      bestCost = cost;
    }
  }
  return best;
}

void MP3Model::CodeSpectralData() {
  const int granules = Granules(), channels = Channels();
  int modelClass[2][2] = {};

  for (int gr = 0; gr < granules; ++gr)
    for (int ch = 0; ch < channels; ++ch) {
      const int c = modelClass[gr][ch] = SpectralClass(header, gr_info[gr][ch], ch);
      // Made on first use; a failed allocation throws and fails the job, which is the owner's
      // failure path for every allocation of a job.
      if (!subModels[c]) subModels[c] = NewSubModel(c);
    }

  decision_costs::Name(decision_costs::kExtents);
  for (int gr = 0; gr < granules; ++gr)
    for (int ch = 0; ch < channels; ++ch) PrepareGranule(*this, gr, ch, modelClass[gr][ch]);

  CoefficientRun runs[2][2];
  if (targetBitRate > 0) {
    // Frequency by frequency across the granules and channels, so that the budget cuts the
    // highest frequencies of the whole frame.
    for (int k = 0; k < 576; ++k)
      for (int gr = 0; gr < granules; ++gr)
        for (int ch = 0; ch < channels; ++ch)
          CodeValue(*this, *subModels[modelClass[gr][ch]], gr, ch, k,
                    coder.bytes < byteBudget && k < spectralModel.n[gr][ch], runs[gr][ch]);
    spectralEndBytes = coder.bytes;
  } else {
    const bool midSide = (header >> 6 & 3) == 1 && (header >> 4 & 2) != 0;
    int16_t exponents[2][MixingContexts::kBands];
    for (int gr = 0; gr < granules; ++gr)
      for (int ch = 0; ch < channels; ++ch) {
        SpectralSubModel& sm = *subModels[modelClass[gr][ch]];
        GranuleMixing mixing;
        int16_t* exponent = exponents[ch];
        if (mixingContexts) {
          int32_t& lastGain = mixingContexts->lastGain[sm.modelClass];
          const GrInfo& granule = gr_info[gr][ch];
          const int gain = granule.global_gain;
          // The step grows by a quarter octave per unit of global_gain and shrinks by a half (or
          // a whole) octave per unit of a long block's scale factor.
          // MPEG-2's preflag comes from its scale-factor layout when the granule is written, after
          // the values: a decoder does not know it yet, so only MPEG-1's counts.
          const int sfShift = 2 * (1 + (granule.scalefac_scale & 1));
          const int preflag = IsMpeg1() ? granule.preflag & 1 : 0;
          for (int b = 0; b < MixingContexts::kBands; ++b) {
            const int sf =
                kLongBlockClass[sm.modelClass] && b < 21 ? scalefac[gr][ch][b] + preflag * kPretab[b] : 0;
            exponent[b] = int16_t(gain - sfShift * sf);
          }
          mixing = {mixingContexts.get(), ch == 1 ? spectrum[gr][0] : nullptr, midSide,
                    ch == 1 ? gain - gr_info[gr][0].global_gain : 0, gain - lastGain, exponent,
                    mixingContexts->lastExponent[sm.modelClass], mixingContexts->olderExponent[sm.modelClass],
                    ch == 1 ? exponents[0] : nullptr};
          lastGain = gain;
        }
        CodeGranuleValues(sm, coder, spectrum[gr][ch], gr_info[gr][ch],
                          kLongBlockClass[sm.modelClass] ? scalefac[gr][ch] : nullptr, spectralModel.band,
                          spectralModel.n[gr][ch], spectralModel.m[gr][ch], ch, runs[gr][ch], mixing);
        if (mixingContexts) {
          int16_t* last = mixingContexts->lastExponent[sm.modelClass];
          std::copy(last, last + MixingContexts::kBands, mixingContexts->olderExponent[sm.modelClass]);
          std::copy(exponent, exponent + MixingContexts::kBands, last);
        }
      }
  }

  decision_costs::Name(decision_costs::kExtents);
  for (int gr = 0; gr < granules; ++gr)
    for (int ch = 0; ch < channels; ++ch) {
      CodeRegionCounts(*this, gr_info[gr][ch], ch);
      CodeTableSelection(*this, gr_info[gr][ch], spectrum[gr][ch]);
    }
}
