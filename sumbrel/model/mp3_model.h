// Class MP3Model: the context model that codes parsed MP3 frames with the arithmetic coder,
// and rebuilds them from the coded bits. It is the frame record and bitstream state of MP3
// plus the coder and every context table; one object serves one coding job.
//
// Every routine runs in both directions: coder.decoding says whether a field is read from the
// frame record and coded, or decoded and stored into the record. Each decision is computed
// only from what the decoder already has at that point.
#pragma once
#include <cstdint>
#include <memory>

#include "bitstream/mp3.h"
#include "coder/coder.h"
#include "model/granule_values.h"
#include "model/header_model.h"
#include "model/layout_model.h"
#include "model/length_model.h"
#include "model/scale_factor_model.h"

class MP3Model : public MP3 {
 public:
  static constexpr int kClasses = 8;

  // Builds the code tables and gives every context its initial value. The frame record and
  // the bitstream state start zeroed, so nothing coded depends on uninitialised memory.
  MP3Model();
  ~MP3Model();
  MP3Model(const MP3Model&) = delete;
  MP3Model& operator=(const MP3Model&) = delete;

  // The per-file state, set after the reader start (encoding) or before the writer start
  // (decoding). The spectral sub-models are made when a granule first needs them.
  // `model` is 1 for format 1's model, 2 for the stronger one of format 2.
  void StartStream(int repackFrames, int targetBitRate, int model = 1);

  // Codes the frame in the record (encoding) or rebuilds it (decoding), with the ancillary
  // bits in front of it.
  void Process();
  // Codes the ancillary bits after the last frame of a run, before literal bytes or the end.
  void FlushModel();

  // Releases the spectral sub-models, marking each absent.
  void ReleaseSubModels();

  // A hash over every adaptive context, map and history (not the coder, not the record):
  // two models that saw the same stream in opposite directions must agree on it.
  uint64_t ContextHash() const;

  Coder coder;

  // 1 or 2: which model codes the spectral values (format 2 files record theirs).
  int32_t modelNumber = 1;

  // Options of the compressed file: 0 and 0 in every file this system writes.
  int32_t repackFrames = 0;
  int32_t targetBitRate = 0;  // bit/s, 0 for no budget

  // Budget state.
  uint32_t elapsedMs = 0;
  int32_t byteBudget = 0;
  int32_t spectralEndBytes = 0;
  int32_t frameBytesAverage = 0;
  int32_t budgetSlack = 0;

  // Inter-frame layout state (freeBits, ancillaryBits, ancillaryBuffer and part23_total are
  // members of MP3).
  int32_t prevPart23Total = -1;
  int32_t ancillaryTotal = 0;

  HeaderContexts headerModel;
  ScaleFactorContexts scaleFactorModel;
  SpectralContexts spectralModel;
  LengthContexts lengthModel;
  LayoutContexts layoutModel;
  std::unique_ptr<SpectralSubModel> subModels[kClasses];
  // The second model's tables; made by StartStream for model 2 only.
  std::unique_ptr<MixingContexts> mixingContexts;
  // Sub-model memory that a FileCoder kept from an earlier job (see keepModelMemory); the first
  // granule of a class takes one and starts it afresh instead of allocating.
  std::unique_ptr<SpectralSubModel> spareSubModels[kClasses];
  // A sub-model of class c in its starting state, from a spare where there is one.
  std::unique_ptr<SpectralSubModel> NewSubModel(int c);

  // ---- the steps of Process, one file each ----
  void CodeHeaderModel();        // header_model.cpp
  void CodeScaleFactorsMpeg1();  // scale_factor_model.cpp
  void CodeScaleFactorsLsf();    // scale_factor_model.cpp
  void CodeSpectralData();       // granule_values.cpp
  void CodePart23Length();       // length_model.cpp
  // The bits the scale factors and Huffman codes of a granule and channel take by the record:
  // part2_length + big-value bits + count1 bits.
  int ExpectedPart23Length(int gr, int ch) const;  // length_model.cpp

  // frame_model.cpp
  int FrameDuration() const;  // in 1/44100 s
  int CodeGap();              // the ancillary gap in front of a frame; returns it
  void CodeExactLayout();
  void DeriveRepackLayout();
  void Bookkeeping(int spectralEndAtStart);
};
