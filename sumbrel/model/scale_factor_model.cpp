// The scale factors of a frame and part2_length, the number of bits they take in the stream.
// Each value is a tree code bounded by 2^slen, so exactly the bits the stream holds are coded;
// values the reader left in the record from an earlier frame are coded clamped by the same
// bound, which writes the clamped value back for both directions to agree.
#include <algorithm>

#include "bitstream/layer3_data.h"
#include "model/mp3_model.h"

void MP3Model::CodeScaleFactorsMpeg1() {
  ScaleFactorContexts& m = scaleFactorModel;
  const uint16_t* const rate = rate40_200;
  constexpr int limit = LimitOfShift(8);
  static constexpr int groupStart[5] = {0, 6, 11, 16, 21};

  for (int gr = 0; gr < 2; ++gr)
    for (int ch = 0; ch < Channels(); ++ch) {
      GrInfo& g = gr_info[gr][ch];
      uint16_t* sf = scalefac[gr][ch];
      g.part2_length = 0;
      const int compress = g.scalefac_compress & 15;
      const int slen1 = layer3::slen1Mpeg1[compress];
      const int slen2 = layer3::slen2Mpeg1[compress];

      if (g.block_type == 2) {
        int firstShort = 0;
        if (g.mixed_block_flag) {
          for (int k = 0; k < 8; ++k)
            CodeTree4(m.mixedLongBands[ch][k], coder, sf[k], -1, 1 << slen1, rate, limit);
          g.part2_length += 8 * slen1;
          firstShort = 3;
        }
        for (int j = firstShort; j < 12; ++j)
          for (int w = 0; w < 3; ++w) {
            const int slen = j < 6 ? slen1 : slen2;
            CodeTree4(m.shortBands[compress][ch][j], coder, sf[39 + 3 * j + w], -1, 1 << slen, rate, limit);
            g.part2_length += slen;
          }
        continue;
      }

      int prev = 0;
      for (int group = 0; group < 4; ++group) {
        if (gr == 1 && scfsi[ch][group]) {
          std::copy(scalefac[0][ch] + groupStart[group], scalefac[0][ch] + groupStart[group + 1],
                    sf + groupStart[group]);
          continue;
        }
        for (int b = groupStart[group]; b < groupStart[group + 1]; ++b) {
          const int slen = b <= 10 ? slen1 : slen2;
          prev = CodeTree4(m.longBands[slen % 4][prev][ch][b], coder, sf[b], -1, 1 << slen, rate, limit);
          g.part2_length += slen;
        }
      }
    }
}

void MP3Model::CodeScaleFactorsLsf() {
  ScaleFactorContexts& m = scaleFactorModel;
  const uint16_t* const rate = rate40_200;
  constexpr int limit = LimitOfShift(9);

  for (int ch = 0; ch < Channels(); ++ch) {
    GrInfo& g = gr_info[0][ch];
    uint16_t* sf = scalefac[0][ch];
    g.part2_length = 0;
    // Mode extension 1 or 3: intensity stereo, whose right channel has its own layouts.
    const bool intensityRight = ch == 1 && (header >> 4 & 1);
    const uint32_t layout = intensityRight ? lsf_is_sfc_table[(g.scalefac_compress >> 1) & 255]
                                           : lsf_sfc_table[g.scalefac_compress & 511];
    const int row = std::min(int(layout >> 12 & 7), 5);
    const int kind = g.block_type != 2 ? 0 : g.mixed_block_flag ? 2 : 1;
    int position = 0;  // in the channel's list, counted from 1
    for (int j = 0; j < 4; ++j) {
      const int slen = layout >> (3 * j) & 7;
      const int count = layer3::nrOfSfb[row][kind][j];
      if (slen == 0) {  // nothing in the stream; the positions still advance
        position += count;
        continue;
      }
      for (int i = 0; i < count; ++i) {
        ++position;
        CodeTree7(m.lsf[position], coder, sf[position - 1], -1, 1 << slen, rate, limit);
        // Once per value coded: part2_length counts scale-factor bits.
        g.part2_length += slen;
      }
    }
  }
}
