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
#include "coder_memory_stream.h"
#include "data/wav_writer.h"
#include "music.h"
#include "model/mp3_model.h"
#include "model/two_stage_bit.h"

namespace {

double ThreadCpu() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> bytes(std::filesystem::file_size(path));
  FILE* in = std::fopen(path.c_str(), "rb");
  if (!in || std::fread(bytes.data(), 1, bytes.size(), in) != bytes.size()) bytes.clear();
  if (in) std::fclose(in);
  return bytes;
}

struct Steps {
  std::vector<std::vector<uint8_t>> literalRuns;  // one per break, in order
  std::vector<bool> isFrame;
};

// Returns the coded bytes; fills the step kinds the decoder replays.
MemoryStream EncodeFile(FILE* in, Steps& steps, int32_t& length, int repack = 0, int target = 0) {
  MemoryStream stream;
  auto model = std::make_unique<MP3Model>();
  model->Input(in);
  length = model->stream_end;
  model->StartStream(repack, target);
  stream.AttachEncoder(model->coder);
  int status = model->ReadFrame();
  for (;;) {
    if (status == 0) {
      model->Process();
      steps.isFrame.push_back(true);
      status = model->ReadFrame();
      continue;
    }
    model->ReadFlush();
    model->FlushModel();
    steps.isFrame.push_back(false);
    steps.literalRuns.emplace_back();
    if (status == 1) break;
    for (; status < 0; status = model->ReadFrame()) steps.literalRuns.back().push_back(uint8_t(status + 256));
  }
  Flush(model->coder);
  return stream;
}

void DecodeFile(MemoryStream& stream, const Steps& steps, int32_t length, FILE* out, int repack = 0,
                int target = 0) {
  auto model = std::make_unique<MP3Model>();
  model->stream_end = length;
  model->StartStream(repack, target);
  model->Output(out);
  stream.AttachDecoder(model->coder);
  size_t run = 0;
  for (bool frame : steps.isFrame) {
    if (frame) {
      model->Process();
      model->WriteFrame();
      continue;
    }
    model->FlushModel();
    model->WriteFlush();
    for (uint8_t byte : steps.literalRuns[run++]) model->WriteLiteral(byte);
  }
  std::fflush(out);
}

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

  struct Kind { const char* name; const char* file; testdata::Sound sound; bool music; int rate, channels; const char* options; };
  const Kind kinds[] = {
      {"MPEG-1 44.1 kHz joint stereo 128 kbit/s", "mixed-128", testdata::Sound::Mixed, false, 44100, 2, "-b 128"},
      {"MPEG-1 44.1 kHz joint stereo 320 kbit/s", "mixed-320", testdata::Sound::Mixed, false, 44100, 2, "-b 320"},
      {"MPEG-1 44.1 kHz VBR -V 2", "mixed-v2", testdata::Sound::Mixed, false, 44100, 2, "-V 2"},
      {"MPEG-1 44.1 kHz stereo, transients 192", "transients-192", testdata::Sound::Transients, false, 44100, 2, "-m s -b 192"},
      {"MPEG-1 48 kHz noise VBR -V 0", "noise-v0", testdata::Sound::Noise, false, 48000, 2, "-V 0"},
      {"MPEG-1 32 kHz mono 64 kbit/s", "tone-64", testdata::Sound::Tone, false, 32000, 1, "-m m -b 64"},
      {"MPEG-2 22.05 kHz joint stereo 64", "mixed-22-64", testdata::Sound::Mixed, false, 22050, 2, "-b 64"},
      {"MPEG-2.5 11.025 kHz stereo 32", "mixed-11-32", testdata::Sound::Mixed, false, 11025, 2, "-b 32"},
      {"music 44.1 kHz stereo VBR -V 2", "music-v2", testdata::Sound::Mixed, true, 44100, 2, "-V 2"},
      {"music 44.1 kHz stereo 192 kbit/s", "music-192", testdata::Sound::Mixed, true, 44100, 2, "-b 192"},
  };

  std::printf("%-42s %8s %8s %10s %10s\n", "kind", "MB", "coded", "encode", "decode");
  double totalMb = 0, totalCoded = 0, totalEncode = 0, totalDecode = 0;
  bool allExact = true;
  uint32_t seed = 1;
  for (const Kind& kind : kinds) {
    if (!only.empty() && ("," + only + ",").find("," + std::string(kind.file) + ",") == std::string::npos) {
      ++seed;  // each kind keeps its own clip
      continue;
    }
    const std::string wav = dir + "/clip.wav";
    const std::string mp3 = (clipsDir.empty() ? dir + "/clip" : clipsDir + "/" + kind.file) + ".mp3";
    const uint32_t clipSeed = seed++;
    if (clipsDir.empty() || !std::filesystem::exists(mp3)) {
      testdata::WriteWav(wav,
                         kind.music ? bench_music::MakeMusic(kind.rate, seconds, clipSeed)
                                    : testdata::MakeSamples(kind.sound, kind.rate, kind.channels, seconds, clipSeed),
                         kind.rate, kind.channels);
      const std::string command = "lame --quiet --resample " + std::to_string(kind.rate / 1000.0) + " " +
                                  kind.options + " " + wav + " '" + mp3 + "'";
      if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "bench-model: lame failed (is it installed?)\n");
        std::filesystem::remove_all(dir);
        return 2;
      }
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
      std::vector<uint8_t> rebuilt(original.size());
      std::rewind(out);
      exact &= std::fread(rebuilt.data(), 1, rebuilt.size(), out) == rebuilt.size() && rebuilt == original &&
               std::fgetc(out) == EOF;
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
