// Throughput of the range coder in coded binary decisions per second, encoding
// into and decoding from a buffered file as the plug-in does. Each workload is
// run three times and the best time is reported. Times are the CPU time of the
// benchmark thread (user and system), so that other load on a shared machine
// disturbs the figures less than it would disturb wall-clock times.
//
//   bench-coder [million-decisions]   (default 32 per workload)

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "coder/coder.h"

namespace {

double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

struct Result {
  double seconds = 1e30;
  long bytes = 0;
  bool identical = true;
};

// Bits with a per-context bias, as a model's contexts see them.
struct BitWorkload {
  std::vector<uint8_t> bits;
  std::vector<uint8_t> contexts;
};

BitWorkload MakeBits(size_t count) {
  std::mt19937 rng(1);
  double bias[256];
  for (double& b : bias) b = std::pow(std::uniform_real_distribution<double>(0, 1)(rng), 3);
  BitWorkload w;
  w.bits.resize(count);
  w.contexts.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t ctx = uint8_t((i * 7 + (i >> 5)) & 255);
    w.contexts[i] = ctx;
    const bool flip = std::uniform_real_distribution<double>(0, 1)(rng) < bias[ctx];
    w.bits[i] = uint8_t((ctx & 1) ^ flip);
  }
  return w;
}

// Byte values with a skewed distribution, as literals or gains come.
std::vector<uint8_t> MakeBytes(size_t count) {
  std::mt19937 rng(2);
  std::geometric_distribution<int> geometric(0.05);
  std::vector<uint8_t> bytes(count);
  for (uint8_t& b : bytes) b = uint8_t(std::min(geometric(rng), 255));
  return bytes;
}

template <class Body>
Result Measure(Body&& body, bool decoding, FILE* file) {
  Result best;
  for (int round = 0; round < 3; ++round) {
    std::rewind(file);
    Coder coder;
    if (decoding)
      StartDecoding(coder, file);
    else
      StartEncoding(coder, file);
    const double start = ThreadSeconds();
    best.identical = body(coder) && best.identical;
    if (!decoding) Flush(coder);
    std::fflush(file);
    const double seconds = ThreadSeconds() - start;
    if (seconds < best.seconds) best.seconds = seconds;
    best.bytes = std::ftell(file);
  }
  return best;
}

void Report(const char* name, double decisions, const Result& encode, const Result& decode) {
  std::printf("%-34s encode %7.1f Mbit/s  decode %7.1f Mbit/s  %.3f bits/decision%s\n", name,
              decisions / encode.seconds / 1e6, decisions / decode.seconds / 1e6, encode.bytes * 8.0 / decisions,
              decode.identical ? "" : "  MISMATCH");
}

}  // namespace

int main(int argc, char** argv) {
  const double millions = argc > 1 ? std::atof(argv[1]) : 32;
  if (!(millions > 0)) {
    std::fprintf(stderr, "usage: bench-coder [million-decisions]\n");
    return 2;
  }
  const size_t decisions = size_t(millions * 1e6);
  FILE* file = std::tmpfile();
  if (!file) {
    std::perror("bench-coder: tmpfile");
    return 1;
  }
  bool allIdentical = true;

  {
    const BitWorkload w = MakeBits(decisions);
    std::vector<AdaptiveBit> contexts(256);
    auto run = [&](Coder& coder) {
      contexts.assign(256, AdaptiveBit{});
      bool same = true;
      for (size_t i = 0; i < decisions; ++i) {
        int bit = w.bits[i];
        CodeBit(coder, contexts[w.contexts[i]], bit, rate28_128, 16);
        same &= bit == w.bits[i];
      }
      return same;
    };
    const Result encode = Measure(run, false, file);
    const Result decode = Measure(run, true, file);
    allIdentical &= decode.identical;
    Report("CodeBit, 256 biased contexts", double(decisions), encode, decode);
  }
  {
    const std::vector<uint8_t> bytes = MakeBytes(decisions / 8);
    std::vector<AdaptiveBit> nodes(256);
    auto run = [&](Coder& coder) {
      nodes.assign(256, AdaptiveBit{});
      bool same = true;
      for (uint8_t b : bytes) {
        int value = b;
        CodeTree8(nodes.data(), coder, value, -1, 256, rate40_200, 128);
        same &= value == b;
      }
      return same;
    };
    const Result encode = Measure(run, false, file);
    const Result decode = Measure(run, true, file);
    allIdentical &= decode.identical;
    Report("CodeTree8, skewed bytes", double(bytes.size() * 8), encode, decode);
  }
  {
    const BitWorkload w = MakeBits(decisions);
    auto run = [&](Coder& coder) {
      bool same = true;
      for (size_t i = 0; i < decisions; ++i) {
        const int bit = CodeEvenBit(coder, w.bits[i]);
        same &= bit == w.bits[i];
      }
      return same;
    };
    const Result encode = Measure(run, false, file);
    const Result decode = Measure(run, true, file);
    allIdentical &= decode.identical;
    Report("CodeEvenBit (raw bits)", double(decisions), encode, decode);
  }
  std::fclose(file);
  if (!allIdentical) {
    std::fprintf(stderr, "bench-coder: decoded data differ from the input\n");
    return 1;
  }
  return 0;
}
