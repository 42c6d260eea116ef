// Codes an MP3 file through the model into memory and decodes it with a fresh model, frame by
// frame, keeping what each side held after every step so that a test can find the first
// frame where the two directions part. Literal bytes travel beside the coded bits, so only
// the model is exercised here.
#pragma once
#include <cstring>
#include <memory>
#include <vector>

#include "bitstream_roundtrip.h"
#include "coder_memory_stream.h"
#include "model/mp3_model.h"

namespace model_test {

using bitstream_test::Bytes;

// What one step leaves behind: a frame record after Process, or the gap after FlushModel.
struct StepState {
  bool frame = false;
  Bytes literals;  // after a break: the literal bytes that follow it
  uint32_t header = 0;
  int mainDataBegin = 0, privateBits = 0, rawMainData = 0, part23Total = 0;
  int scfsi[2][4] = {};
  GrInfo grInfo[2][2] = {};
  bool scalefacWritten[2][2] = {};
  uint16_t scalefac[2][2][78] = {};
  int16_t spectrum[2][2][576] = {};
  int ancillaryBits = -1;
  Bytes ancillary;  // the gap's bits, unused bits of the last byte cleared
};

inline StepState Capture(const MP3Model& model, bool frame) {
  StepState s;
  s.frame = frame;
  s.ancillaryBits = model.ancillaryBits;
  if (model.ancillaryBits > 0) {
    s.ancillary.assign(model.ancillaryBuffer, model.ancillaryBuffer + (model.ancillaryBits + 7) / 8);
    if (model.ancillaryBits % 8) s.ancillary.back() &= uint8_t(0xFF00 >> (model.ancillaryBits % 8));
  }
  if (!frame) return s;
  s.header = model.header;
  s.mainDataBegin = model.main_data_begin;
  s.privateBits = model.private_bits;
  s.rawMainData = model.raw_main_data;
  s.part23Total = model.part23_total;
  const bool mpeg1 = model.IsMpeg1();
  for (int gr = 0; gr < model.Granules(); ++gr)
    for (int ch = 0; ch < model.Channels(); ++ch) {
      GrInfo g = model.gr_info[gr][ch];
      if (!model.raw_main_data) g.saved_part2_3_length = 0;
      if (!g.window_switching_flag) g.subblock_gain[0] = g.subblock_gain[1] = g.subblock_gain[2] = 0;
      if (!mpeg1) g.preflag = 0;  // taken from the layout word when the frame is written
      s.grInfo[gr][ch] = g;
      if (mpeg1 && gr == 0) std::memcpy(s.scfsi[ch], model.scfsi[ch], sizeof s.scfsi[ch]);
      // Scale factors of a granule that is not written are coded as they stand but may hold
      // values past what was coded.
      s.scalefacWritten[gr][ch] = !model.raw_main_data && (!mpeg1 || g.part2_3_length > 0);
      if (s.scalefacWritten[gr][ch])
        std::memcpy(s.scalefac[gr][ch], model.scalefac[gr][ch], sizeof s.scalefac[gr][ch]);
      std::memcpy(s.spectrum[gr][ch], model.spectrum[gr][ch], sizeof s.spectrum[gr][ch]);
    }
  return s;
}

inline bool SameState(const StepState& a, const StepState& b) {
  return a.frame == b.frame && a.header == b.header && a.mainDataBegin == b.mainDataBegin &&
         a.privateBits == b.privateBits && a.rawMainData == b.rawMainData &&
         a.part23Total == b.part23Total && !std::memcmp(a.scfsi, b.scfsi, sizeof a.scfsi) &&
         !std::memcmp(a.grInfo, b.grInfo, sizeof a.grInfo) &&
         !std::memcmp(a.scalefac, b.scalefac, sizeof a.scalefac) &&
         !std::memcmp(a.spectrum, b.spectrum, sizeof a.spectrum) &&
         a.ancillaryBits == b.ancillaryBits && a.ancillary == b.ancillary;
}

struct Coded {
  MemoryStream stream;
  std::vector<StepState> steps;
  int32_t length = 0;
  uint64_t contextHash = 0;
};

inline Coded Encode(const Bytes& input, int repackFrames = 0, int targetBitRate = 0) {
  Coded coded;
  auto model = std::make_unique<MP3Model>();
  FILE* in = bitstream_test::FileWith(input);
  model->Input(in);
  coded.length = model->stream_end;
  model->StartStream(repackFrames, targetBitRate);
  coded.stream.AttachEncoder(model->coder);
  int status = model->ReadFrame();
  for (;;) {
    if (status == 0) {
      model->Process();
      coded.steps.push_back(Capture(*model, true));
      status = model->ReadFrame();
      continue;
    }
    model->ReadFlush();
    model->FlushModel();
    coded.steps.push_back(Capture(*model, false));
    if (status == 1) break;
    for (; status < 0; status = model->ReadFrame()) coded.steps.back().literals.push_back(uint8_t(status + 256));
  }
  Flush(model->coder);
  coded.contextHash = model->ContextHash();
  std::fclose(in);
  return coded;
}

struct Decoded {
  Bytes output;
  std::vector<StepState> steps;
  uint64_t contextHash = 0;
};

// Decodes as many steps as the encoder made, stopping after the first whose state differs
// from the encoder's unless told to go on.
inline Decoded Decode(const Coded& coded, int repackFrames = 0, int targetBitRate = 0,
                      bool stopAtDifference = true) {
  Decoded decoded;
  auto model = std::make_unique<MP3Model>();
  FILE* out = std::tmpfile();
  model->stream_end = coded.length;
  model->StartStream(repackFrames, targetBitRate);
  model->Output(out);
  MemoryStream stream = coded.stream;
  stream.AttachDecoder(model->coder);
  for (const StepState& expected : coded.steps) {
    if (expected.frame) {
      model->Process();
      decoded.steps.push_back(Capture(*model, true));
      model->WriteFrame();
    } else {
      model->FlushModel();
      decoded.steps.push_back(Capture(*model, false));
      model->WriteFlush();
      for (uint8_t byte : expected.literals) model->WriteLiteral(byte);
      decoded.steps.back().literals = expected.literals;
    }
    if (stopAtDifference && !SameState(decoded.steps.back(), expected)) break;
  }
  decoded.contextHash = model->ContextHash();
  std::fflush(out);
  decoded.output = bitstream_test::ContentsOf(out);
  std::fclose(out);
  return decoded;
}

}  // namespace model_test
