// Bit access of the input window and the output buffer, shared by the reader, the writer
// and the routines that serve both. Both stores keep the newest byte at the lowest address,
// so one little-endian 32-bit load or store at position p / 8, shifted by p % 8, holds the
// stream's bits in the order they were sent, first bit highest.
#pragma once
#include <bit>
#include <cstring>

#include "bitstream/mp3.h"

inline uint32_t LoadWord(const uint8_t* at) {
  if constexpr (std::endian::native == std::endian::little) {
    uint32_t word;
    std::memcpy(&word, at, 4);
    return word;
  }
  return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

inline void StoreWord(uint8_t* at, uint32_t word) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(at, &word, 4);
    return;
  }
  at[0] = uint8_t(word), at[1] = uint8_t(word >> 8), at[2] = uint8_t(word >> 16),
  at[3] = uint8_t(word >> 24);
}

// Copies count bytes into to[0], to[-1], ... : the stores keep bytes in reverse stream order.
inline void CopyReversed(uint8_t* to, const uint8_t* from, int count) {
  int k = 0;
  for (; k + 8 <= count; k += 8) {
    uint64_t block;
    std::memcpy(&block, from + k, 8);
    block = __builtin_bswap64(block);
    std::memcpy(to - k - 7, &block, 8);
  }
  for (; k < count; ++k) to[-k] = from[k];
}

// Reads at most 25 bits below `pos` of a newest-lowest byte store through a register
// that holds the 56 bits below the last refill point, so that a chain of decodes, each of
// which needs the length of the one before, does not also wait for a memory load each time.
// The store must have 8 readable bytes below position 0.
class HeldBits {
 public:
  HeldBits(const uint8_t* store, int pos) : store_(store) { Refill(pos); }

  uint32_t Peek(int pos, int n) {
    if (pos - n < low_) Refill(pos);
    return uint32_t(bits_ >> (pos - n - low_)) & ((1u << n) - 1);
  }

 private:
  void Refill(int pos) {
    low_ = pos - 56;
    uint64_t word;
    std::memcpy(&word, store_ + (low_ >> 3), 8);
    if constexpr (std::endian::native != std::endian::little) word = __builtin_bswap64(word);
    bits_ = word >> (low_ & 7);
  }

  const uint8_t* store_;
  int low_;        // bit 0 of bits_ is stream position low_
  uint64_t bits_;
};

// A run of writes below `pos` in a byte store kept newest-lowest, collected in a register and
// ORed into memory one byte-aligned 32-bit word at a time. Writing each code straight to
// memory would load a word that the previous store overlaps only in part, which the processor
// cannot forward and makes wait. Values of at most 21 bits; OR semantics as PutBits.
class PendingBits {
 public:
  PendingBits(uint8_t* buffer, int pos) : buffer_(buffer), pos_(pos), top_((pos + 7) & ~7) {}

  void Put(uint32_t value, int n) {
    bits_ = bits_ << n | value;
    pos_ -= n;
    if (top_ - pos_ >= 32) {
      top_ -= 32;
      uint8_t* at = buffer_ + (top_ >> 3);
      StoreWord(at, LoadWord(at) | uint32_t(bits_ >> (top_ - pos_)));
    }
  }

  // Writes what is still held and returns the position reached. The word written may reach
  // into bits already written from this run, which get the same values again.
  int Finish() {
    if (top_ > pos_) {
      uint8_t* at = buffer_ + (pos_ >> 3);
      StoreWord(at, LoadWord(at) | uint32_t(bits_ << (pos_ & 7)));
      top_ = (pos_ + 7) & ~7;
      bits_ = 0;
    }
    return pos_;
  }

  int Pos() const { return pos_; }

 private:
  uint8_t* buffer_;
  int pos_;
  int top_;           // bits [pos_, top_) are held, top_ is byte-aligned
  uint64_t bits_ = 0;  // bit k is stream position pos_ + k
};

// Reads n (at most 25) bits below the read point.
inline uint32_t MP3::GetBits(int n) {
  bits_avail -= n;
  const int p = bits_avail;
  return (LoadWord(window_cursor + (p >> 3)) >> (p & 7)) & ((1u << n) - 1);
}

inline uint32_t MP3::PeekBits(int n) const {
  const int p = bits_avail - n;
  return (LoadWord(window_cursor + (p >> 3)) >> (p & 7)) & ((1u << n) - 1);
}

// Appends n (at most 25) bits; the target bits must be clear. Values are not masked.
inline void MP3::PutBits(uint32_t value, int n) {
  if (n == 0) return;
  out_bitpos -= n;
  const int p = out_bitpos;
  uint8_t* at = out_buffer + (p >> 3);
  StoreWord(at, LoadWord(at) | value << (p & 7));
}

// Written values are cut to their width: a record decoded from a damaged stream may hold
// anything, and a wider value would spill into the neighbouring fields' bits.
inline void MP3::Field(int32_t& value, int n) {
  if (reading)
    value = int32_t(GetBits(n));
  else
    PutBits(uint32_t(value) & ((1u << n) - 1), n);
}

inline void MP3::Field(uint16_t& value, int n) {
  if (reading)
    value = uint16_t(GetBits(n));
  else
    PutBits(uint32_t(value) & ((1u << n) - 1), n);
}
