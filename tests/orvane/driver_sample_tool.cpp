// orvane-sample SIZE [SEED]: writes about SIZE bytes of random and text data
// with stand-in codec streams at mixed levels inside to standard output.
#include <cstdio>
#include <cstdlib>

#include "driver_samples.h"
#include "os/Os.h"

int main(int argc, char** argv) {
  Os::UseBinaryStandardHandles();
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: orvane-sample SIZE [SEED]\n");
    return 2;
  }
  const size_t Size = std::strtoull(argv[1], nullptr, 10);
  const uint32_t Seed = argc == 3 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 1;
  try {
    const std::string Data = samples::Archive(Size, Seed, 4096, 65536);
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
