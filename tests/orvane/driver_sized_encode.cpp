// `orvane e` with the encoder's block and group sizes as arguments, so that the
// suites reach many blocks and groups with small inputs; the shipped program
// always uses the defaults. Usage: orvane-sized-encode BLOCK GROUP (0: default).
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "Encoder.h"

namespace {

// Two blocks must fit one window with 32-bit offsets.
bool Parse(const char* Text, long long Max, long long Default, long long& Value) {
  char* End = nullptr;
  Value = std::strtoll(Text, &End, 10);
  if (*Text == '\0' || *End != '\0' || Value < 0 || Value > Max) return false;
  if (Value == 0) Value = Default;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  long long Block = 0, Group = 0;
  if (argc != 3 || !Parse(argv[1], INT32_MAX / 2, ChunkSize, Block) ||
      !Parse(argv[2], INT32_MAX, DecodeSize, Group)) {
    std::fputs("usage: orvane-sized-encode BLOCK GROUP\n", stderr);
    return 2;
  }
  try {
    Encode(static_cast<int32_t>(Block), Group);
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "orvane: %s\n", Error.what());
    return 1;
  }
  return 0;
}
