#pragma once
// A bit whose context is the length of the current run of agreeing bits: the
// models use it for flags that come in long stretches (padding, block type).

#include <cstdint>

#include "coder/adaptive_bit.h"
#include "coder/range_coder.h"

struct RunModel {
  AdaptiveBit bits[32];
  int run = 0;   // bits in a row (up to 31) that agreed with the run's first
  int last = 0;  // the run's first bit
};

template <class B>
inline int CodeRunBit(RunModel& model, Coder& coder, B& bit, const uint16_t* rate, int c) {
  const int coded = CodeBit(coder, model.bits[model.run], bit, rate, c);
  if (model.run < 31) model.run += 1;
  if (model.run == 1) {
    model.last = coded;
  } else if (coded != model.last) {  // also once run has stopped growing at 31
    model.run = 0;
    model.last = coded;
  }
  return coded;
}
