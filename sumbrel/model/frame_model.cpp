// The order in which a frame is coded, the main-data layout (the ancillary gap in front of a
// frame and main_data_begin), the byte budget of a target bit rate and the bookkeeping that
// carries the layout from frame to frame.
#include <algorithm>
#include <cstring>

#include "model/mp3_model.h"

namespace {
constexpr int kGapByteBound = 1954;  // a gap's byte part; 1954 bytes fit ancillaryBuffer
}  // namespace

int MP3Model::FrameDuration() const { return (IsMpeg1() ? 1152 : 576) * 44100 / SamplingRate(); }

void MP3Model::Process() {
  if (coder.decoding) {
    header = 0;
    std::memset(&main_data_begin, 0, 372);
    std::memset(scalefac, 0, sizeof scalefac);
    std::memset(spectrum, 0, sizeof spectrum);
  }
  const int spectralEndAtStart = spectralEndBytes;
  decision_costs::Name(decision_costs::kHeader);
  CodeHeaderModel();
  decision_costs::Name(decision_costs::kScaleFactors);
  const int duration = FrameDuration();
  if (IsMpeg1())
    CodeScaleFactorsMpeg1();
  else
    CodeScaleFactorsLsf();

  // The bytes one frame may use at the target rate. A rate so low that this rounds to 0,
  // and an average so far off that the divisor would be 0, are held at 1.
  int32_t allowance = 99999;
  if (targetBitRate > 0) allowance = int32_t(uint32_t(targetBitRate) * uint32_t(duration) / 352800u);
  allowance = std::max(allowance, 1);
  int32_t divisor = frameBytesAverage / allowance + 1;
  if (divisor == 0) divisor = 1;
  byteBudget = int32_t(uint32_t(spectralEndBytes) + uint32_t(allowance) + uint32_t(budgetSlack / divisor));

  CodeSpectralData();
  decision_costs::Name(decision_costs::kLengths);
  CodePart23Length();
  decision_costs::Name(decision_costs::kLayout);
  if (repackFrames)
    DeriveRepackLayout();
  else
    CodeExactLayout();
  Bookkeeping(spectralEndAtStart);
}

// The bits between the end of the previous frame's granule data and the start of this
// frame's. Coded with the same contexts in front of a frame and after the last one of a run.
int MP3Model::CodeGap() {
  int gap = -1;
  if (prevPart23Total >= 0) {
    // Before a literal run the reader's reset is already set, so the encoder sends 0 there
    // even for a gap that equals freeBits.
    const bool resetCondition = coder.decoding ? out_reset != 0 : in_reset != 0;
    int equalsFree = !resetCondition && ancillaryBits == freeBits;
    CodeBit(coder, layoutModel.gapFlag, equalsFree, rate28_128, LimitOfShift(11));
    if (equalsFree) {
      gap = freeBits;
    } else {
      int bytePart = std::max(ancillaryBits, 0) >> 3;
      CodeTree<11>(layoutModel.gapBytes, coder, bytePart, -1, kGapByteBound, rate28_128, LimitOfShift(11));
      // The gap ends where this frame's main data starts, on a byte boundary, so its low
      // three bits follow from where the previous frame's granule data ended; both sides
      // rebuild the gap from them rather than from the count the reader handed over.
      gap = bytePart * 8 + ((-prevPart23Total) & 7);
    }
  }
  ancillaryBits = gap;
  prevPart23Total = part23_total;
  if (gap > 0) {
    // Both a flag 1 and a flag 0 gap stay below 1954 bytes: freeBits is bounded by the
    // largest frame plus the reservoir.
    const int parity = ancillaryTotal & 1;
    const int bytes = std::min((gap + 7) / 8, int(kAncillaryBytes));
    int history = 0;  // the last 7 bits of this gap
    for (int i = 0; i < bytes; ++i) {
      const int row = std::min(i, 127);
      const int bitsHere = std::min(8, gap - 8 * i);
      const int byte = coder.decoding ? 0 : ancillaryBuffer[i];
      int rebuilt = 0;
      for (int b = 0; b < bitsHere; ++b) {
        AdaptiveBit& context = layoutModel.gapBits[row][b][parity][history];
        // A byte index reached for the first time starts from what the one before learned.
        if (row >= 1 && context.state == 1) context = layoutModel.gapBits[row - 1][b][parity][history];
        int bit = byte >> (7 - b) & 1;
        CodeBit(coder, context, bit, rate20_100, LimitOfShift(11));
        rebuilt |= bit << (7 - b);
        history = (history << 1 | bit) & 127;
      }
      if (coder.decoding) ancillaryBuffer[i] = uint8_t(rebuilt);
    }
    // Only its parity counts; an empty or unknown gap leaves it as it was.
    ancillaryTotal = int32_t(uint32_t(ancillaryTotal) + uint32_t(gap));
  }
  return gap;
}

void MP3Model::CodeExactLayout() {
  const int gap = CodeGap();
  const bool resetCondition = coder.decoding ? out_reset != 0 : in_reset != 0;
  const int predicted = (freeBits == -1 || resetCondition) ? 0 : (freeBits - gap) / 8;
  int differs = main_data_begin != predicted;
  CodeBit(coder, layoutModel.mainDataBeginFlag, differs, rate28_128, LimitOfShift(11));
  if (differs)
    CodeTree<9>(layoutModel.mainDataBegin, coder, main_data_begin, -1, 512, rate28_128, LimitOfShift(11));
  else  // the encoder takes this path only for a value in the field's range, so holding it
        // there keeps a damaged stream from carrying a runaway reservoir into freeBits
    main_data_begin = std::clamp(predicted, 0, 511);
  reservoir_bytes = main_data_begin;
}

// Nothing is coded: the decoder lays the frames out afresh, as tightly as the reservoir
// allows, and picks the smallest bit rate that holds each frame.
void MP3Model::DeriveRepackLayout() {
  if (!coder.decoding) return;
  main_data_begin = reservoir_bytes = freeBits < 0 ? 0 : std::min(511, freeBits / 8);
  ancillaryBits = freeBits < 0 ? -1 : freeBits - 8 * main_data_begin;
  if (ancillaryBits > 0)
    std::memset(ancillaryBuffer, 0, size_t(std::min((ancillaryBits + 7) / 8, int(kAncillaryBytes))));
  out_remaining = -1;  // re-laid-out frames no longer add up to the original length
  int bits = 0;
  for (int gr = 0; gr < Granules(); ++gr)
    for (int ch = 0; ch < Channels(); ++ch) bits += gr_info[gr][ch].part2_3_length;
  int index = 14;
  for (int candidate = 1; candidate <= 14; ++candidate)
    if (8 * (MainBytesAt(candidate) + main_data_begin) - bits >= 0) {
      index = candidate;
      break;
    }
  header = (header & ~(15u << 12)) | uint32_t(index) << 12;
}

void MP3Model::Bookkeeping(int spectralEndAtStart) {
  int bits = 0;
  for (int gr = 0; gr < Granules(); ++gr)
    for (int ch = 0; ch < Channels(); ++ch) bits += gr_info[gr][ch].part2_3_length;
  freeBits = 8 * (MainBytes() + reservoir_bytes) - bits;

  // The average and the slack wrap like the 32-bit values they are rather than overflow on
  // a very long file; they only steer the budget.
  const uint32_t coded = uint32_t(coder.bytes) - uint32_t(spectralEndAtStart) + 1u;
  frameBytesAverage =
      int32_t(uint32_t(frameBytesAverage) - uint32_t(frameBytesAverage >> 3) + coded);
  elapsedMs += uint32_t(FrameDuration()) * 1000u / 44100u;
  const int64_t allowed = int64_t(elapsedMs) * targetBitRate / 8 / 1000;
  budgetSlack = int32_t(uint32_t(allowed) - uint32_t(coder.bytes));
}

void MP3Model::FlushModel() {
  decision_costs::Name(decision_costs::kLayout);
  CodeGap();
  ancillaryTotal = 0;
  part23_total = prevPart23Total = -1;
}
