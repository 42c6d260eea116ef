// part2_3_length of every granule and channel. A parsed granule's length is almost always the
// number of bits its scale factors and Huffman codes take, which the decoder can count from
// what it already has, so only a difference from that count is coded. A frame the reader
// could not parse keeps its stream lengths as raw bits; its main data travels as ancillary
// bits and counts as empty.
#include <algorithm>

#include "bitstream/layer3_data.h"
#include "model/huffman_bits.h"
#include "model/mp3_model.h"

namespace {
const uint16_t* const kRate = rate64_300;
constexpr int kLimit = LimitOfShift(11);
}  // namespace

int MP3Model::ExpectedPart23Length(int gr, int ch) const {
  const GrInfo& g = gr_info[gr][ch];
  const int16_t* values = spectrum[gr][ch];
  int n = 576;
  while (n > 0 && values[n - 1] == 0) --n;
  // The clamps and masks change nothing for a record the reader made; they keep the lookups
  // of a record decoded from a damaged stream inside their tables.
  const int end = 2 * std::clamp(g.big_values, 0, 288);
  const int16_t* boundary = layer3::longBandBoundary[BandRow()];
  const int r1 = std::min(end, int(boundary[std::clamp(g.region0_count + 1, 0, 22)]));
  const int r2 = std::min(end, int(boundary[std::clamp(g.region0_count + g.region1_count + 2, 0, 22)]));
  int bits = g.part2_length;
  bits += RegionBits(g.table_select[0] & 31, values, 0, r1);
  bits += RegionBits(g.table_select[1] & 31, values, r1, r2);
  bits += RegionBits(g.table_select[2] & 31, values, r2, end);
  // A quadruple reaching past index 575 counts its missing values as 0.
  if (end < n) bits += Count1Bits(g.count1table_select, values, end, n);
  return bits;
}

void MP3Model::CodePart23Length() {
  LengthContexts& m = lengthModel;
  CodeBit(coder, m.rawMainData, raw_main_data, kRate, kLimit);
  if (raw_main_data) {
    for (int gr = 0; gr < Granules(); ++gr)
      for (int ch = 0; ch < Channels(); ++ch) {
        GrInfo& g = gr_info[gr][ch];
        int saved = 0;
        for (int bit = 11; bit >= 0; --bit)  // each with probability one half
          saved |= CodeEvenBit(coder, g.saved_part2_3_length >> bit & 1) << bit;
        g.saved_part2_3_length = saved;
        g.part2_3_length = 0;
      }
    part23_total = 0;
    return;
  }

  int total = 0;
  for (int gr = 0; gr < Granules(); ++gr)
    for (int ch = 0; ch < Channels(); ++ch) {
      GrInfo& g = gr_info[gr][ch];
      const int expected = ExpectedPart23Length(gr, ch);
      if (repackFrames) {
        g.part2_3_length = expected;
      } else {
        int mismatch = g.part2_3_length != expected;  // encoder only
        CodeBit(coder, m.mismatch[gr][ch], mismatch, kRate, kLimit);
        if (mismatch) {
          const int difference = g.part2_3_length - expected;  // encoder only
          int sign = difference < 0;
          CodeBit(coder, m.sign[gr][ch], sign, kRate, kLimit);
          int magnitude = sign ? -difference : difference - 1;
          CodeTree<12>(m.magnitude[gr][ch][sign], coder, magnitude, -1, 4096, kRate, kLimit);
          g.part2_3_length = sign ? expected - magnitude : expected + magnitude + 1;
        } else {
          g.part2_3_length = expected;
        }
      }
      total += g.part2_3_length;
    }
  part23_total = total;
}
