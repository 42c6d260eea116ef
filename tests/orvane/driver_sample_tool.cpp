// orvane-sample SIZE [SEED]: writes about SIZE bytes of random and text data
// with stand-in codec streams at mixed levels inside to standard output.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver_samples.h"
#include "os/Os.h"

namespace {

// The archive is made in memory before it is written.
constexpr uint64_t MaxSize = std::min<uint64_t>(uint64_t(1) << 32, SIZE_MAX);

void PrintUsage(std::FILE* To) {
  std::fputs(
      "usage: orvane-sample SIZE [SEED] >archive\n"
      "  writes about SIZE bytes (0 to 4294967296) of random and text data with stand-in\n"
      "  codec streams inside; SEED (0 to 4294967295, default 1) picks another archive\n",
      To);
}

// A whole decimal number no larger than Max; anything else is refused.
bool ParseNumber(const char* Text, uint64_t Max, uint64_t& Value) {
  if (*Text == '\0' || std::strlen(Text) > 19) return false;
  Value = 0;
  for (const char* p = Text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    Value = Value * 10 + static_cast<uint64_t>(*p - '0');
  }
  return Value <= Max;
}

}  // namespace

int main(int argc, char** argv) {
  Os::UseBinaryStandardHandles();
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    PrintUsage(stdout);
    return 0;
  }
  uint64_t Size = 0, Seed = 1;
  if (argc < 2 || argc > 3 || !ParseNumber(argv[1], MaxSize, Size) ||
      (argc == 3 && !ParseNumber(argv[2], UINT32_MAX, Seed))) {
    PrintUsage(stderr);
    return 2;
  }
  if (Os::IsTerminal(Os::StandardOutput)) {
    std::fputs("orvane-sample: refusing to write binary data to a terminal; redirect standard output\n", stderr);
    return 2;
  }
  try {
    const std::string Data = samples::Archive(Size, static_cast<uint32_t>(Seed), 4096, 65536);
    if (std::fwrite(Data.data(), 1, Data.size(), stdout) != Data.size() || std::fflush(stdout) != 0) {
      std::fprintf(stderr, "orvane-sample: write failed\n");
      return 1;
    }
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "orvane-sample: %s\n", Error.what());
    return 1;
  }
  return 0;
}
