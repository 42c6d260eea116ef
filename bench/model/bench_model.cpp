// bench-model [seconds] [runs] [--clips DIR] [--dump DIR] [--only NAME,...]: encodes clips of several kinds
// with lame (each `seconds` of audio, default 60; two kinds are music-like, see music.h), then
// codes every file frame by frame through the model into memory and decodes it again with a
// fresh model, on one thread. Reports MP3 megabytes per second of thread CPU time in each
// direction (best of `runs`, default 3), the coded size as a share of the MP3 size per kind,
// and the model's memory. Literal bytes (tags) are passed beside the coded bits, so the figures
// are the model's own. Last, the cost of one two-stage decision alone (a loop that does nothing
// else, over 64 contexts): the model makes about ten such decisions per MP3 byte, so this is
// the floor under its time per megabyte.
//
// --only NAME,... codes only the kinds of those clip names (mixed-128, music-v2, ...).
// --clips DIR keeps the MP3 clips in DIR and takes them from there when they are present, so
// that runs of several builds code the same files. --dump DIR writes, per kind, the coded
// stream and the decoded MP3 bytes of every mode (normal, a bit budget, frames laid out afresh,
// both) and speeds.tsv with the figures, for bench/compare-model.sh.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bitstream/huffman_tables.h"
#include "model/mp3_model.h"
#include "model/two_stage_bit.h"
#include "model_bench.h"

namespace {

using namespace model_bench;

// Seconds per two-stage decision when encoding and when decoding, best of `runs`.
std::pair<double, double> DecisionCost(int runs) {
  constexpr int kBits = 4000000;
  std::mt19937 random(7);
  std::vector<uint8_t> bits(kBits), contexts(kBits);
  for (int i = 0; i < kBits; ++i) {
    contexts[i] = uint8_t(random() & 63);
    bits[i] = random() % 100 < (contexts[i] & 31) * 3u;  // skewed as the model's decisions are
  }
  double bestEncode = 1e30, bestDecode = 1e30;
  for (int run = 0; run < runs; ++run) {
    std::vector<AdaptiveBit> primaries(64);
    std::vector<MapRecord<9>> maps(64);
    MemoryStream stream;
    Coder encoder;
    stream.AttachEncoder(encoder);
    double start = ThreadCpu();
    {
      LocalCoder<false> local(encoder);
      for (int i = 0; i < kBits; ++i)
        CodeTwoStageBit(local, primaries[contexts[i]], rate100_460, 3276, maps[contexts[i]], rate200_1050,
                        bits[i]);
      local.Store();
    }
    bestEncode = std::min(bestEncode, ThreadCpu() - start);
    Flush(encoder);
    primaries.assign(64, AdaptiveBit{});
    maps.assign(64, MapRecord<9>{});
    Coder decoder;
    stream.AttachDecoder(decoder);
    int wrong = 0;
    start = ThreadCpu();
    {
      LocalCoder<true> local(decoder);
      for (int i = 0; i < kBits; ++i)
        wrong += CodeTwoStageBit(local, primaries[contexts[i]], rate100_460, 3276, maps[contexts[i]],
                                 rate200_1050, 0) != bits[i];
      local.Store();
    }
    bestDecode = std::min(bestDecode, ThreadCpu() - start);
    if (wrong) return {0, 0};
  }
  return {bestEncode / kBits, bestDecode / kBits};
}


bool WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  const bool ok = std::fwrite(data, 1, size, out) == size;
  return std::fclose(out) == 0 && ok;
}

// The modes besides the normal one, coded once each for --dump: (repackFrames, targetBitRate).
struct Mode { const char* name; int repack, target; };
constexpr Mode kModes[] = {{"normal", 0, 0}, {"budget", 0, 96000}, {"repack", 1, 0}, {"repack-budget", 1, 96000}};

// Codes `mp3` in every mode into `prefix`-<mode>.coded and .decoded; false on a write failure.
bool DumpModes(const std::string& mp3, const std::string& prefix) {
  for (const Mode& mode : kModes) {
    FILE* in = std::fopen(mp3.c_str(), "rb");
    FILE* out = std::tmpfile();
    if (!in || !out) return false;
    Steps steps;
    int32_t length = 0;
    MemoryStream coded = EncodeFile(in, steps, length, mode.repack, mode.target);
    DecodeFile(coded, steps, length, out, mode.repack, mode.target);
    std::vector<uint8_t> decoded;
    std::rewind(out);
    for (int c; (c = std::fgetc(out)) != EOF;) decoded.push_back(uint8_t(c));
    std::fclose(in);
    std::fclose(out);
    if (!WriteBytes(prefix + "-" + mode.name + ".coded", coded.bytes.data(), coded.bytes.size()) ||
        !WriteBytes(prefix + "-" + mode.name + ".decoded", decoded.data(), decoded.size()))
      return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> positional;
  std::string clipsDir, dumpDir, only;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--clips" || arg == "--dump" || arg == "--only") && i + 1 < argc)
      (arg == "--clips" ? clipsDir : arg == "--dump" ? dumpDir : only) = argv[++i];
    else
      positional.push_back(arg);
  }
  const double seconds = positional.size() > 0 ? std::atof(positional[0].c_str()) : 60;
  const int runs = positional.size() > 1 ? std::atoi(positional[1].c_str()) : 3;
  if (positional.size() > 2 || seconds <= 0 || runs <= 0) {
    std::fprintf(stderr, "usage: bench-model [seconds] [runs] [--clips DIR] [--dump DIR] [--only NAME,...]\n");
    return 2;
  }
  char scratch[] = "/tmp/bench-model-XXXXXX";
  if (!mkdtemp(scratch)) return 2;
  const std::string dir = scratch;
  for (const std::string& folder : {clipsDir, dumpDir})
    if (!folder.empty()) std::filesystem::create_directories(folder);
  FILE* speeds = dumpDir.empty() ? nullptr : std::fopen((dumpDir + "/speeds.tsv").c_str(), "w");

  std::printf("%-42s %8s %8s %10s %10s\n", "kind", "MB", "coded", "encode", "decode");
  double totalMb = 0, totalCoded = 0, totalEncode = 0, totalDecode = 0;
  bool allExact = true;
  uint32_t seed = 1;
  for (const ClipKind& kind : kClipKinds) {
    if (!only.empty() && ("," + only + ",").find("," + std::string(kind.file) + ",") == std::string::npos) {
      ++seed;  // each kind keeps its own clip
      continue;
    }
    const std::string wav = dir + "/clip.wav";
    const std::string mp3 = (clipsDir.empty() ? dir + "/clip" : clipsDir + "/" + kind.file) + ".mp3";
    const uint32_t clipSeed = seed++;
    if ((clipsDir.empty() || !std::filesystem::exists(mp3)) && !MakeClip(kind, seconds, clipSeed, wav, mp3)) {
      std::fprintf(stderr, "bench-model: lame failed (is it installed?)\n");
      std::filesystem::remove_all(dir);
      return 2;
    }
    if (!dumpDir.empty() && !DumpModes(mp3, dumpDir + "/" + kind.file)) {
      std::fprintf(stderr, "bench-model: cannot write into %s\n", dumpDir.c_str());
      return 2;
    }
    const std::vector<uint8_t> original = ReadAll(mp3);
    double bestEncode = 1e30, bestDecode = 1e30;
    size_t codedSize = 0;
    bool exact = true;
    for (int run = 0; run < runs; ++run) {
      FILE* in = std::fopen(mp3.c_str(), "rb");
      FILE* out = std::tmpfile();
      Steps steps;
      int32_t length = 0;
      double start = ThreadCpu();
      MemoryStream coded = EncodeFile(in, steps, length);
      bestEncode = std::min(bestEncode, ThreadCpu() - start);
      codedSize = coded.bytes.size();
      start = ThreadCpu();
      DecodeFile(coded, steps, length, out);
      bestDecode = std::min(bestDecode, ThreadCpu() - start);
      exact &= SameBytes(out, original);
      std::fclose(in);
      std::fclose(out);
    }
    const double mb = double(original.size()) / 1e6;
    std::printf("%-42s %8.2f %7.1f%% %6.2f MB/s %6.2f MB/s%s\n", kind.name, mb,
                100.0 * double(codedSize) / double(original.size()), mb / bestEncode, mb / bestDecode,
                exact ? "" : "  NOT EXACT");
    if (speeds) std::fprintf(speeds, "%s\t%.4f\t%.4f\n", kind.file, mb / bestEncode, mb / bestDecode);
    if (kind.music) continue;  // "all" stays the sum of the same kinds as before
    totalMb += mb, totalCoded += double(codedSize) / 1e6, totalEncode += bestEncode, totalDecode += bestDecode;
    allExact &= exact;
  }
  std::printf("%-42s %8.2f %7.1f%% %6.2f MB/s %6.2f MB/s\n", "all but music", totalMb,
              100.0 * totalCoded / totalMb, totalMb / totalEncode, totalMb / totalDecode);
  if (speeds) {
    std::fprintf(speeds, "all\t%.4f\t%.4f\n", totalMb / totalEncode, totalMb / totalDecode);
    std::fclose(speeds);
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("model object %.2f MiB, spectral sub-model %.2f MiB (x%d), peak resident %.1f MiB\n",
              double(sizeof(MP3Model)) / 1048576.0, double(sizeof(SpectralSubModel)) / 1048576.0,
              MP3Model::kClasses, double(usage.ru_maxrss) / 1024.0);
  if (only.empty()) {
    const auto [encodeCost, decodeCost] = DecisionCost(runs);
    std::printf("one two-stage decision alone: %.1f ns encoding, %.1f ns decoding%s\n", encodeCost * 1e9,
                decodeCost * 1e9, encodeCost > 0 ? "" : "  NOT EXACT");
    allExact &= encodeCost > 0;
  }
  ReleaseCodeTables();
  std::filesystem::remove_all(dir);
  return allExact ? 0 : 1;
}
