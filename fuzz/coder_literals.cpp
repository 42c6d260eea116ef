// The arithmetic decoder with the literal tree over any bytes, in the order a
// restore reads them: an escape bit, and after an escape literal symbols up to
// the end symbol. Whatever it decodes, the encoder must code to bytes that
// decode to the same decisions, reading no byte past those it wrote.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "coder/coder.h"
#include "fuzz_check.h"

namespace {

constexpr int kEndOfLiterals = 256;

struct Bytes {
  std::vector<uint8_t> data;
  size_t position = 0;
  size_t reads = 0;
  static int Read(void* stream) {
    auto* self = static_cast<Bytes*>(stream);
    ++self->reads;
    return self->position < self->data.size() ? self->data[self->position++] : -1;
  }
  static void Write(void* stream, int byte) { static_cast<Bytes*>(stream)->data.push_back(uint8_t(byte)); }
};

// The contexts of the file coder's own decisions, fresh as at a job's start.
struct Contexts {
  AdaptiveBit escape;
  AdaptiveBit literals[512];
  int Escape(Coder& coder, int bit) { return CodeBit(coder, escape, bit, rate28_128, LimitOfShift(11)); }
  int Literal(Coder& coder, int symbol) {
    return CodeTree9(literals, coder, symbol, -1, kEndOfLiterals + 1, rate250_1400, 163);
  }
};

// Codes the decisions in order: an escape bit, and after a 1 literals closed by
// the end symbol. When decoding, `decisions` receives them until `count` are
// done or the input is used up (the decoder then reads -1).
void Run(Coder& coder, std::vector<int>& decisions, size_t count, const Bytes& stream) {
  Contexts contexts;
  const bool decoding = coder.decoding;
  bool inLiterals = false;
  for (size_t i = 0; i < count; ++i) {
    if (decoding && stream.reads > stream.data.size() + 4) break;
    const int want = decoding ? 0 : decisions[i];
    int got;
    if (!inLiterals) {
      got = contexts.Escape(coder, want);
      FUZZ_CHECK(got == 0 || got == 1, "an escape bit that is not a bit");
      inLiterals = got == 1;
    } else {
      got = contexts.Literal(coder, want);
      FUZZ_CHECK(got >= 0 && got <= kEndOfLiterals, "a literal symbol out of range");
      inLiterals = got != kEndOfLiterals;
    }
    if (decoding) decisions.push_back(got);
    else FUZZ_CHECK(got == want, "the encoder coded another value than asked");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  Bytes input;
  input.data.assign(Data, Data + Size);
  Coder decoder;
  decoder.readByte = Bytes::Read;
  StartDecoding(decoder, &input);
  // Past its end the input reads as -1 bytes, which cost the decoder nothing
  // once the contexts have adapted to them, so the count is bounded as well.
  std::vector<int> decisions;
  Run(decoder, decisions, std::min<size_t>(8 * Size + 64, 8192), input);

  Bytes coded;
  Coder encoder;
  encoder.writeByte = Bytes::Write;
  StartEncoding(encoder, &coded);
  Run(encoder, decisions, decisions.size(), coded);
  Flush(encoder);

  Coder again;
  again.readByte = Bytes::Read;
  StartDecoding(again, &coded);
  std::vector<int> back;
  Run(again, back, decisions.size(), coded);
  FUZZ_CHECK(back == decisions, "decisions did not survive encoding and decoding");
  FUZZ_CHECK(coded.reads <= coded.data.size(), "the decoder read past the bytes the encoder wrote");
  return 0;
}
