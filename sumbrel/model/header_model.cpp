// The header word, private bits, scfsi and the per-granule side-information fields that
// describe scale factors and blocks. The region, length and table fields follow in later
// steps of Process.
#include "model/mp3_model.h"

namespace {

const uint16_t* const kRate = rate28_128;
constexpr int kLimit = LimitOfShift(11);

// An N-bit header field at bit `shift`, coded as a tree over all its values and stored back.
template <int N>
void CodeHeaderField(Coder& coder, AdaptiveBit* nodes, uint32_t& header, int shift) {
  constexpr uint32_t mask = (1u << N) - 1;
  int value = int(header >> shift & mask);
  CodeTree<N>(nodes, coder, value, -1, 1 << N, kRate, kLimit);
  header = (header & ~(mask << shift)) | uint32_t(value) << shift;
}

// A one-bit header field at bit `shift`, stored back.
void CodeHeaderBit(Coder& coder, AdaptiveBit& context, uint32_t& header, int shift) {
  int bit = int(header >> shift & 1);
  CodeBit(coder, context, bit, kRate, kLimit);
  header = (header & ~(1u << shift)) | uint32_t(bit) << shift;
}

}  // namespace

void MP3Model::CodeHeaderModel() {
  HeaderContexts& m = headerModel;

  CodeHeaderField<2>(coder, m.emphasis, header, 0);
  CodeHeaderField<2>(coder, m.modeExtension, header, 4);
  CodeHeaderField<2>(coder, m.mode, header, 6);
  int padding = int(header >> 9 & 1);
  CodeRunBit(m.padding, coder, padding, kRate, kLimit);
  header = (header & ~(1u << 9)) | uint32_t(padding) << 9;
  CodeHeaderField<2>(coder, m.samplingFrequency, header, 10);
  CodeHeaderBit(coder, m.protectionBit, header, 16);
  // Sync word and layer III are what every frame has; the decoder rebuilds them.
  header = (header | 0xFFE00000u | 1u << 17) & ~(1u << 18);
  CodeHeaderBit(coder, m.idBit, header, 19);
  if (header >> 19 & 1)
    header |= 1u << 20;  // MPEG-1
  else
    CodeHeaderBit(coder, m.lowFrequencyBit, header, 20);  // 1 MPEG-2, 0 MPEG-2.5

  if (repackFrames) {
    // The decoder lays the frames out afresh and picks the bit rate itself; fields that
    // only travel along are dropped in both directions.
    private_bits = 0;
    header &= ~(1u << 3 | 1u << 2 | 1u << 8);
    header = (header & ~(15u << 12)) | 14u << 12;
  } else {
    CodeHeaderField<4>(coder, m.bitRate, header, 12);
    CodeHeaderBit(coder, m.bit2Flag, header, 2);
    CodeHeaderBit(coder, m.bit3Flag, header, 3);
    CodeHeaderBit(coder, m.privateBit, header, 8);
    // All five bits, whatever the field's width in the stream.
    CodeTree5(m.privateBits, coder, private_bits, -1, 32, kRate, kLimit);
  }

  const int channels = Channels();
  const int granules = Granules();
  const bool mpeg1 = IsMpeg1();

  if (mpeg1)
    for (int ch = 0; ch < channels; ++ch) {
      int prev = 0;
      for (int band = 0; band < 4; ++band) {
        uint8_t& history = m.scfsiHistory[ch][band];
        CodeBit(coder, m.scfsiBits[prev][history][ch][band], scfsi[ch][band], kRate, kLimit);
        history = uint8_t(scfsi[ch][band]);
        prev = scfsi[ch][band];
      }
    }

  for (int gr = 0; gr < granules; ++gr)
    for (int ch = 0; ch < channels; ++ch) {
      GrInfo& g = gr_info[gr][ch];
      CodeTree8(m.globalGain, coder, g.global_gain, -1, 256, kRate, kLimit);
      if (mpeg1)
        CodeTree4(m.scalefacCompressMpeg1[ch], coder, g.scalefac_compress, -1, 16, kRate, kLimit);
      else
        CodeTree9(m.scalefacCompressLsf[ch], coder, g.scalefac_compress, -1, 512, kRate, kLimit);
      const int compressContext = g.scalefac_compress % 16;
      CodeBit(coder, m.windowSwitching[m.blockTypeCounter != 0][ch], g.window_switching_flag, kRate,
              kLimit);
      if (mpeg1) CodeBit(coder, m.preflagBits[compressContext][ch], g.preflag, kRate, kLimit);
      uint8_t& scaleHistory = m.scalefacScaleHistory[gr][ch];
      CodeBit(coder, m.scalefacScaleBits[compressContext][scaleHistory % 2][ch], g.scalefac_scale,
              kRate, kLimit);
      scaleHistory = uint8_t(scaleHistory * 2 + g.scalefac_scale);
      CodeBitOp(m.count1Bits[g.scalefac_scale][ch], coder, g.count1table_select, kRate, kLimit,
                kCodeAndUpdate);

      if (g.window_switching_flag) {
        // The counter is a byte: channel 0 may push it past 3, and it then wraps at 256.
        uint8_t& counter = m.blockTypeCounter;
        if (ch == 0 && counter < 2) counter += 1;
        const int prediction = counter;
        int differs = g.block_type != prediction;  // encoder only
        CodeRunBit(m.blockTypeRun, coder, differs, kRate, kLimit);
        if (differs) {
          CodeTree2(m.blockTypeNodes, coder, g.block_type, -1, 4, kRate, kLimit);
          if (g.block_type != 0)
            counter = 0;
          else
            counter += 1;
        } else {
          // A prediction past 3 never matches a real block_type, so the encoder always codes
          // it; only a damaged stream gets here with one, and the field keeps its width.
          g.block_type = prediction & 3;
        }
        if (ch == 1 && counter == 3) counter = 0;
        CodeBitOp(m.mixedBit, coder, g.mixed_block_flag, kRate, kLimit, kCodeAndUpdate);
        for (int w = 0; w < 3; ++w)
          CodeTree3(m.subblockGain[w], coder, g.subblock_gain[w], -1, 8, kRate, kLimit);
      }
    }
}
