// Contexts of the header and side-information model: one adaptive bit or node table per
// header field, side-information fields conditioned on the channel, scalefac_compress and the
// previous frame, and the histories that carry that previous frame.
#pragma once
#include <cstdint>
#include <type_traits>

#include "coder/coder.h"

struct HeaderContexts {
  AdaptiveBit emphasis[4];       // header bits 1-0
  AdaptiveBit modeExtension[4];  // header bits 5-4
  AdaptiveBit mode[4];           // header bits 7-6
  RunModel padding;              // header bit 9
  AdaptiveBit samplingFrequency[4];  // header bits 11-10
  AdaptiveBit protectionBit;     // header bit 16
  AdaptiveBit idBit;             // header bit 19
  AdaptiveBit lowFrequencyBit;   // header bit 20, when bit 19 is 0
  AdaptiveBit bitRate[16];       // header bits 15-12
  AdaptiveBit bit2Flag;          // original/copy
  AdaptiveBit bit3Flag;          // copyright
  AdaptiveBit privateBit;        // header bit 8
  AdaptiveBit privateBits[32];
  // [previous band's bit][same band in the previous frame][channel][band]
  AdaptiveBit scfsiBits[2][2][2][4];
  AdaptiveBit globalGain[256];
  // MPEG-1 and MPEG-2/2.5 values differ in width and meaning, so they learn apart.
  AdaptiveBit scalefacCompressMpeg1[2][16];
  AdaptiveBit scalefacCompressLsf[2][512];
  AdaptiveBit windowSwitching[2][2];       // [block-type counter != 0][channel]
  AdaptiveBit preflagBits[16][2];          // [scalefac_compress mod 16][channel]
  AdaptiveBit scalefacScaleBits[16][2][2];  // [scalefac_compress mod 16][previous bit][channel]
  AdaptiveBit count1Bits[2][2];            // [scalefac_scale][channel]
  RunModel blockTypeRun;                   // block_type differs from its prediction
  AdaptiveBit blockTypeNodes[4];
  AdaptiveBit mixedBit;
  AdaptiveBit subblockGain[3][8];          // per window

  // Inter-frame state.
  uint8_t scfsiHistory[2][4] = {};          // the previous frame's scfsi per [channel][band]
  // The last 8 scalefac_scale values per [granule][channel], newest in bit 0.
  uint8_t scalefacScaleHistory[2][2] = {};
  uint8_t blockTypeCounter = 0;             // the predicted block_type
  uint8_t unused[3] = {};                   // fills what would be padding, which the hash reads

  // The inter-frame histories that every coding job starts from 0; the run models keep
  // their state, which only construction sets.
  void StartStream() {
    for (auto& channel : scfsiHistory)
      for (auto& band : channel) band = 0;
    for (auto& granule : scalefacScaleHistory)
      for (auto& channel : granule) channel = 0;
    blockTypeCounter = 0;
  }
};
static_assert(std::has_unique_object_representations_v<HeaderContexts>, "no padding bytes");
