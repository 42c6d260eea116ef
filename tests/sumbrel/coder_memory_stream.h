#pragma once
// An in-memory byte stream for the coder's byte functions, so tests can look at
// every byte the encoder wrote and count every byte the decoder read.

#include <cstdint>
#include <vector>

#include "coder/range_coder.h"

struct MemoryStream {
  std::vector<uint8_t> bytes;
  size_t position = 0;  // next byte to read
  size_t reads = 0;     // every read, including those past the end

  static int Read(void* stream) {
    auto* self = static_cast<MemoryStream*>(stream);
    ++self->reads;
    if (self->position >= self->bytes.size()) return -1;
    return self->bytes[self->position++];
  }
  static void Write(void* stream, int byte) {
    static_cast<MemoryStream*>(stream)->bytes.push_back(uint8_t(byte));
  }

  void AttachEncoder(Coder& coder) {
    coder.writeByte = Write;
    StartEncoding(coder, this);
  }
  void AttachDecoder(Coder& coder) {
    position = 0;
    reads = 0;
    coder.readByte = Read;
    StartDecoding(coder, this);
  }
};

// Heavy loops shrink under the sanitizers, which slow them down many times.
inline int ScaledForSanitizer(int count) {
#if defined(__SANITIZE_ADDRESS__)
  return count / 10;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return count / 10;
#endif
#endif
  return count;
}
