// orvane e | orvane d: recompresses the codec streams inside any input.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "Decoder.h"
#include "Encoder.h"

namespace {

// Block and group sizes can be lowered through the environment
// (ORVANE_CHUNK_SIZE, ORVANE_DECODE_SIZE) so that black-box tests reach many
// blocks and groups with small inputs; absent or unusable values keep the
// defaults. The container does not depend on them being the same on decode.
int64_t SizeFromEnvironment(const char* Name, int64_t Default, int64_t Max) {
  const char* Text = std::getenv(Name);
  if (Text == nullptr || *Text == '\0') return Default;
  char* End = nullptr;
  const long long Value = std::strtoll(Text, &End, 10);
  if (*End != '\0' || Value < 1 || Value > Max) return Default;
  return Value;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 0;
  const std::string Mode = argv[1];
  try {
    if (Mode == "e") {
      // Two blocks must fit one window with 32-bit offsets: at 1 GiB the
      // window size already wraps, and the block would be lost.
      const auto Block =
          static_cast<int32_t>(SizeFromEnvironment("ORVANE_CHUNK_SIZE", ChunkSize, INT32_MAX / 2));
      Encode(Block, SizeFromEnvironment("ORVANE_DECODE_SIZE", DecodeSize, INT32_MAX));
    } else if (Mode == "d") {
      Decode();
    }
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "orvane: %s\n", Error.what());
    return 1;
  }
  return 0;
}
