// Routes the codec's decompress entry through a counter while an object of this type lives,
// so that tests can bound the work of the detection and probing code.
#pragma once
#include <atomic>
#include <cstdint>

#include "OodleDLL.h"

struct CountDecompress {
  static inline std::atomic<int64_t> Calls{0};
  static inline std::atomic<int64_t> Bytes{0};  // raw lengths asked for, the unit of probe work

  CountDecompress() {
    RealEntry() = OodleDLL::OodleLZ_Decompress;
    OodleDLL::OodleLZ_Decompress = &Counting;
    Calls = 0;
    Bytes = 0;
  }
  ~CountDecompress() { OodleDLL::OodleLZ_Decompress = RealEntry(); }
  CountDecompress(const CountDecompress&) = delete;
  CountDecompress& operator=(const CountDecompress&) = delete;

 private:
  static OodleDLL::TOodleLZ_Decompress& RealEntry() {
    static OodleDLL::TOodleLZ_Decompress Entry = nullptr;
    return Entry;
  }
  static intptr_t Counting(const void* CompBuf, intptr_t CompBufSize, void* RawBuf, intptr_t RawLen,
                           int32_t FuzzSafe, int32_t CheckCRC, int32_t Verbosity, void* DecBufBase,
                           intptr_t DecBufSize, void* FpCallback, void* CallbackUserData,
                           void* DecoderMemory, intptr_t DecoderMemorySize, int32_t ThreadPhase) {
    ++Calls;
    Bytes += RawLen;
    return RealEntry()(CompBuf, CompBufSize, RawBuf, RawLen, FuzzSafe, CheckCRC, Verbosity, DecBufBase,
                       DecBufSize, FpCallback, CallbackUserData, DecoderMemory, DecoderMemorySize,
                       ThreadPhase);
  }
};
