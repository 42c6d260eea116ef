#pragma once
// Carry-propagating binary range coder with 32-bit low and range.
//
// One record serves both directions: every coding routine looks at `decoding`
// and either takes the bit from its argument or returns the decoded bit, so the
// models above it are written once. Bytes move through two function pointers on
// an opaque stream handle; the model installs the buffered file functions, and
// the coder keeps no buffer of its own so that the file position is exactly at
// the end of the coded bytes whenever the drivers touch the file themselves.

#include <cstdint>

#include "coder/decision_costs.h"

using ReadByteFunction = int (*)(void* stream);
using WriteByteFunction = void (*)(void* stream, int byte);

// Byte functions on a FILE* handle. Reading past the end yields -1, which the
// decoder adds as a byte; a stream made by the encoder never gets there.
int FileReadByte(void* file);
void FileWriteByte(void* file, int byte);

struct Coder {
  uint8_t decoding = 0;  // 0 encode, 1 decode
  void* stream = nullptr;
  ReadByteFunction readByte = FileReadByte;
  WriteByteFunction writeByte = FileWriteByte;
  uint32_t low = 0;      // encoder: low end of the interval
  uint32_t code = 0;     // decoder: code value relative to the interval
  int pending = 0;       // encoder: 0xFF bytes held back until the carry is known
  int carry = 0;         // encoder: carry out of low not yet written (0 or 1)
  int cache = 0;         // encoder: byte held back in front of the 0xFF run
  uint32_t range = 0xFFFFFFFFu;
  int bytes = 0;         // renormalisation steps since the start
};

void StartEncoding(Coder& coder, void* stream);
void StartDecoding(Coder& coder, void* stream);
// Ends encoding: afterwards the decoder reads exactly the bytes written.
void Flush(Coder& coder);

// Emits the top byte of low, holding back 0xFF bytes that a later carry could
// still turn into 0x00.
inline void ShiftLow(Coder& coder) {
  if (coder.low < 0xFF000000u || coder.carry != 0) {
    coder.writeByte(coder.stream, (coder.cache + coder.carry) & 0xFF);
    for (; coder.pending > 0; --coder.pending)
      coder.writeByte(coder.stream, (0xFF + coder.carry) & 0xFF);
    coder.carry = 0;
    coder.cache = int(coder.low >> 24);
  } else {
    coder.pending += 1;
  }
  coder.low <<= 8;
}

// Kept out of line: it runs about once per byte, and the per-bit routines stay
// small enough to inline at every call site.
void RenormaliseSlow(Coder& coder);

inline void Renormalise(Coder& coder) {
  if (coder.range < 0x1000000u) RenormaliseSlow(coder);
}

// Width of the 0 side of the interval for a probability p of a 0 (1 .. 0x7FFF
// in units of 2^-15). Split so that the product never needs 64 bits.
inline uint32_t Bound(uint32_t p, uint32_t range) {
  return range < 0x10000000u ? (p * (range >> 11)) >> 4 : p * (range >> 15);
}

// Codes one bit with a fixed probability p of a 0 and returns it (0 or 1). When
// encoding, any nonzero bit counts as 1.
inline int CodeBitWithProbability(Coder& coder, int bit, uint32_t p) {
#ifdef SUMBREL_DECISION_COSTS
  if (!coder.decoding) decision_costs::Add(bit, p);
#endif
  const uint32_t range = coder.range;
  const uint32_t bound = Bound(p, range);
  // Select with masks rather than branches: the bits are data, so a branch on
  // them mispredicts about as often as they are hard to predict.
  uint32_t one;  // all ones when the bit is 1
  if (coder.decoding) {
    one = 0u - uint32_t(coder.code >= bound);
    coder.code -= bound & one;
  } else {
    one = 0u - uint32_t(bit != 0);
    const uint32_t low = coder.low + (bound & one);
    coder.carry += low < coder.low;
    coder.low = low;
  }
  coder.range = (bound & ~one) | ((range - bound) & one);
  Renormalise(coder);
  return int(one & 1);
}

// A bit with probability exactly one half, for raw binary fields.
inline int CodeEvenBit(Coder& coder, int bit) { return CodeBitWithProbability(coder, bit, 0x4000); }

// The per-bit state of a coder held in locals for a run of bits in one direction, so that the
// hot loops of a model keep it in registers instead of reloading it through the record after
// every store. Codes exactly as CodeBitWithProbability on the record does; Store() writes the
// state back and must run before anything else reads or codes with the record.
template <bool kDecoding>
struct LocalCoder {
  Coder& coder;
  uint32_t range;
  uint32_t x;  // low when encoding, code when decoding
  int carry;

  explicit LocalCoder(Coder& c)
      : coder(c), range(c.range), x(kDecoding ? c.code : c.low), carry(kDecoding ? 0 : c.carry) {}

  void Store() const {
    coder.range = range;
    if (kDecoding) {
      coder.code = x;
    } else {
      coder.low = x;
      coder.carry = carry;
    }
  }

  [[gnu::always_inline]] int Code(int bit, uint32_t p) {
#ifdef SUMBREL_DECISION_COSTS
    if (!kDecoding) decision_costs::Add(bit, p);
#endif
    const uint32_t bound = Bound(p, range);
    uint32_t one;
    if (kDecoding) {
      one = 0u - uint32_t(x >= bound);
      x -= bound & one;
    } else {
      one = 0u - uint32_t(bit != 0);
      const uint32_t low = x + (bound & one);
      carry += low < x;
      x = low;
    }
    range = (bound & ~one) | ((range - bound) & one);
    if (range < 0x1000000u) [[unlikely]] {
      Store();
      RenormaliseSlow(coder);
      range = coder.range;
      if (kDecoding) {
        x = coder.code;
      } else {
        x = coder.low;
        carry = coder.carry;
      }
    }
    return int(one & 1);
  }
};

template <bool kDecoding>
[[gnu::always_inline]] inline int CodeBitWithProbability(LocalCoder<kDecoding>& coder, int bit, uint32_t p) {
  return coder.Code(bit, p);
}
