// Encoding then decoding long random programs of coding calls must give back
// every bit and value and leave both sides' contexts in the same state.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "coder/coder.h"
#include "coder_memory_stream.h"

namespace {

enum class Routine { Bit, BitOp, Tree, RunBit, FixedProbability, EvenBit };

struct Call {
  Routine routine;
  int context;  // which adaptive bit, node table or run model
  int width;    // tree width 2 .. 9
  int lo, hi;
  int op;
  const uint16_t* rate;
  int limit;
  uint32_t probability;
  int value;  // what the encoder is asked to code (for op 2 the bit both sides know)
};

constexpr int kBits = 64;
constexpr int kTrees = 16;
constexpr int kRuns = 4;

// Everything one side adapts; compared whole after the run.
struct Contexts {
  AdaptiveBit bits[kBits];
  AdaptiveBit trees[kTrees][512];
  RunModel runs[kRuns];
};

void ExpectSameContexts(const Contexts& a, const Contexts& b) {
  for (int i = 0; i < kBits; ++i) {
    ASSERT_EQ(a.bits[i].p, b.bits[i].p) << "bit " << i;
    ASSERT_EQ(a.bits[i].state, b.bits[i].state) << "bit " << i;
  }
  for (int t = 0; t < kTrees; ++t)
    for (int n = 0; n < 512; ++n) {
      ASSERT_EQ(a.trees[t][n].p, b.trees[t][n].p) << "tree " << t << " node " << n;
      ASSERT_EQ(a.trees[t][n].state, b.trees[t][n].state) << "tree " << t << " node " << n;
    }
  for (int r = 0; r < kRuns; ++r) {
    ASSERT_EQ(a.runs[r].run, b.runs[r].run);
    ASSERT_EQ(a.runs[r].last, b.runs[r].last);
    for (int i = 0; i < 32; ++i) {
      ASSERT_EQ(a.runs[r].bits[i].p, b.runs[r].bits[i].p);
      ASSERT_EQ(a.runs[r].bits[i].state, b.runs[r].bits[i].state);
    }
  }
}

// Biased and bursty sources so that probabilities reach their extremes, long
// 0xFF runs appear in the output and every schedule gets exercised.
std::vector<Call> MakeProgram(uint32_t seed, int count) {
  std::mt19937 rng(seed);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int limits[] = {0, 16, 64, 128, 163, 2048, 3276, 5461, 7281, 16384, 32768};
  double bias[kBits];
  for (double& b : bias) b = std::uniform_real_distribution<double>(0, 1)(rng);
  bias[0] = 0.0;
  bias[1] = 1.0;
  bias[2] = 0.001;
  std::vector<Call> program;
  program.reserve(count);
  for (int i = 0; i < count; ++i) {
    Call call{};
    call.routine = Routine(uniform(0, 5));
    call.rate = kRateSchedules[uniform(0, 16)].table;
    call.limit = limits[uniform(0, 10)];
    switch (call.routine) {
      case Routine::Bit:
      case Routine::BitOp:
      case Routine::RunBit:
        call.context = uniform(0, call.routine == Routine::RunBit ? kRuns - 1 : kBits - 1);
        call.value = std::bernoulli_distribution(bias[call.context % kBits])(rng);
        call.op = uniform(0, 2);
        break;
      case Routine::Tree: {
        call.context = uniform(0, kTrees - 1);
        call.width = uniform(2, 9);
        const int top = 1 << call.width;
        // Mostly the models' lo = -1 with a bound; sometimes both bounds, or
        // an empty or out-of-reach range, and values outside the range too.
        call.lo = uniform(0, 3) == 0 ? uniform(-2, top + 1) : -1;
        call.hi = uniform(0, 3) == 0 ? uniform(0, top + 2) : top;
        call.value = uniform(0, 1) ? uniform(-3, top + 3) : uniform(0, top / 8);
        break;
      }
      case Routine::FixedProbability:
        call.probability = uint32_t(uniform(1, 0x7FFF));
        call.value = uniform(0, 1);
        break;
      case Routine::EvenBit:
        call.value = uniform(0, 1);
        break;
    }
    program.push_back(call);
  }
  return program;
}

// Runs the program on one side; records the value each call left behind.
std::vector<int> RunProgram(const std::vector<Call>& program, Coder& coder, Contexts& ctx) {
  std::vector<int> results;
  results.reserve(program.size());
  const bool decoding = coder.decoding != 0;
  for (const Call& call : program) {
    // The decoder is handed garbage so that it must produce every value itself,
    // except for op 2, whose bit was coded elsewhere and is known to both sides.
    int value = decoding ? 0x5A5A : call.value;
    switch (call.routine) {
      case Routine::Bit:
        CodeBit(coder, ctx.bits[call.context], value, call.rate, call.limit);
        break;
      case Routine::BitOp:
        if (call.op == kUpdateOnly) value = call.value;
        CodeBitOp(ctx.bits[call.context], coder, value, call.rate, call.limit, call.op);
        break;
      case Routine::RunBit:
        CodeRunBit(ctx.runs[call.context], coder, value, call.rate, call.limit);
        break;
      case Routine::Tree: {
        AdaptiveBit* nodes = ctx.trees[call.context];
        switch (call.width) {
          case 2: CodeTree2(nodes, coder, value, call.lo, call.hi, call.rate, call.limit); break;
          case 3: CodeTree3(nodes, coder, value, call.lo, call.hi, call.rate, call.limit); break;
          case 4: CodeTree4(nodes, coder, value, call.lo, call.hi, call.rate, call.limit); break;
          case 5: CodeTree5(nodes, coder, value, call.lo, call.hi, call.rate, call.limit); break;
          case 6: CodeTree6(nodes, coder, value, call.lo, call.hi, call.rate, call.limit); break;
          case 7: CodeTree7(nodes, coder, value, call.lo, call.hi, call.rate, call.limit); break;
          case 8: CodeTree8(nodes, coder, value, call.lo, call.hi, call.rate, call.limit); break;
          default: CodeTree9(nodes, coder, value, call.lo, call.hi, call.rate, call.limit); break;
        }
        break;
      }
      case Routine::FixedProbability:
        value = CodeBitWithProbability(coder, value, call.probability);
        break;
      case Routine::EvenBit:
        value = CodeEvenBit(coder, value);
        break;
    }
    results.push_back(value);
  }
  return results;
}

class CoderRoundTrip : public ::testing::TestWithParam<uint32_t> {};

TEST_P(CoderRoundTrip, DecoderReproducesBitsValuesAndContexts) {
  const std::vector<Call> program = MakeProgram(GetParam(), ScaledForSanitizer(1500000));

  auto encoderContexts = std::make_unique<Contexts>();
  MemoryStream stream;
  Coder encoder;
  stream.AttachEncoder(encoder);
  const std::vector<int> encoded = RunProgram(program, encoder, *encoderContexts);
  Flush(encoder);
  // One byte per renormalisation step plus the five of start and flush.
  ASSERT_EQ(stream.bytes.size(), size_t(encoder.bytes) + 5);

  auto decoderContexts = std::make_unique<Contexts>();
  Coder decoder;
  stream.AttachDecoder(decoder);
  const std::vector<int> decoded = RunProgram(program, decoder, *decoderContexts);

  for (size_t i = 0; i < program.size(); ++i) {
    ASSERT_EQ(decoded[i], encoded[i]) << "call " << i;
    const Call& call = program[i];
    if (call.routine == Routine::Tree) {
      ASSERT_GE(encoded[i], 0);
      ASSERT_LT(encoded[i], 1 << call.width);
      if (std::max(call.lo + 1, 0) < call.hi && call.hi <= (1 << call.width)) {
        ASSERT_GT(encoded[i], call.lo) << "a value outside the bounds must be replaced by one inside";
        ASSERT_LT(encoded[i], call.hi) << "a value outside the bounds must be replaced by one inside";
      }
      if (call.value >= 0 && call.value > call.lo && call.value < call.hi &&
          call.value < (1 << call.width)) {
        ASSERT_EQ(encoded[i], call.value) << "an in-range value must come back unchanged";
      }
    } else if (call.routine != Routine::BitOp || call.op != kUpdateOnly) {
      ASSERT_EQ(encoded[i], call.value) << "call " << i;
    }
  }
  ExpectSameContexts(*encoderContexts, *decoderContexts);
  EXPECT_EQ(decoder.bytes, encoder.bytes);
  EXPECT_EQ(stream.reads, stream.bytes.size()) << "the decoder must read exactly the encoded bytes";
}

INSTANTIATE_TEST_SUITE_P(Seeds, CoderRoundTrip, ::testing::Values(1u, 2u, 77u, 20240601u));

// The model codes straight into its compressed file through the standard
// library's streams; the decoder must stop exactly where the encoder stopped so
// that the bytes after the coded stream can be copied on.
TEST(CoderFile, RoundTripThroughFileEndsExactlyAtTheTrailingBytes) {
  const std::vector<Call> program = MakeProgram(99, ScaledForSanitizer(100000));
  FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  const char trailer[] = "trailing bytes";

  auto encoderContexts = std::make_unique<Contexts>();
  Coder encoder;
  StartEncoding(encoder, file);
  const std::vector<int> encoded = RunProgram(program, encoder, *encoderContexts);
  Flush(encoder);
  const long codedLength = std::ftell(file);
  ASSERT_EQ(codedLength, long(encoder.bytes) + 5);
  ASSERT_EQ(std::fwrite(trailer, 1, sizeof trailer, file), sizeof trailer);
  std::rewind(file);

  auto decoderContexts = std::make_unique<Contexts>();
  Coder decoder;
  StartDecoding(decoder, file);
  const std::vector<int> decoded = RunProgram(program, decoder, *decoderContexts);
  EXPECT_EQ(std::ftell(file), codedLength);
  char rest[sizeof trailer] = {};
  EXPECT_EQ(std::fread(rest, 1, sizeof rest, file), sizeof rest);
  EXPECT_EQ(std::memcmp(rest, trailer, sizeof trailer), 0);
  std::fclose(file);

  ASSERT_EQ(decoded, encoded);
  ExpectSameContexts(*encoderContexts, *decoderContexts);
}

}  // namespace
