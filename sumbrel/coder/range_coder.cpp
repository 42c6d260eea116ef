#include "coder/range_coder.h"

#include <cmath>
#include <cstdio>

#ifdef SUMBREL_DECISION_COSTS
void decision_costs::Add(int bit, uint32_t p) {
  const double zero = double(p) / 32768.0;
  totals.bits[current] -= std::log2(bit ? 1.0 - zero : zero);
  ++totals.decisions[current];
}
#endif

// The coder is the only user of the compressed file while a frame is coded, and
// a job runs on one thread, so the stream lock of getc/putc is pure overhead.
#if defined(_WIN32)
#define CODER_GETC _getc_nolock
#define CODER_PUTC _putc_nolock
#else
#define CODER_GETC getc_unlocked
#define CODER_PUTC putc_unlocked
#endif

int FileReadByte(void* file) { return CODER_GETC(static_cast<FILE*>(file)); }

void FileWriteByte(void* file, int byte) { CODER_PUTC(byte & 0xFF, static_cast<FILE*>(file)); }

void StartEncoding(Coder& coder, void* stream) {
  coder.decoding = 0;
  coder.stream = stream;
  coder.low = 0;
  coder.pending = 0;
  coder.carry = 0;
  coder.cache = 0;
  coder.range = 0xFFFFFFFFu;
  coder.bytes = 0;
}

void StartDecoding(Coder& coder, void* stream) {
  coder.decoding = 1;
  coder.stream = stream;
  coder.range = 0xFFFFFFFFu;
  coder.low = 0;
  coder.pending = 0;
  coder.carry = 0;
  coder.bytes = 0;
  // The first byte is the encoder's initial cache (always 0); five reads shift
  // it out of the 32-bit code again.
  coder.code = 0;
  for (int i = 0; i < 5; ++i) coder.code = (coder.code << 8) + uint32_t(coder.readByte(coder.stream));
}

void Flush(Coder& coder) {
  for (int i = 0; i < 5; ++i) ShiftLow(coder);
}

void RenormaliseSlow(Coder& coder) {
  do {
    coder.range <<= 8;
    coder.bytes += 1;
    if (coder.decoding)
      coder.code = (coder.code << 8) + uint32_t(coder.readByte(coder.stream));
    else
      ShiftLow(coder);
  } while (coder.range < 0x1000000u);
}
