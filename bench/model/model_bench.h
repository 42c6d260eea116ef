// What the model benchmarks share (bench-model, bench-formats): the clip kinds and how their
// MP3 files are made, and coding a whole file frame by frame through the model into memory
// and back, with the literal bytes (tags) kept beside the coded bits as a list of runs.
//
// The model is started through a caller's function so that this header calls nothing newer
// than bench-model needs: bench/compare-model.sh builds older revisions with it.
#pragma once
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "coder_memory_stream.h"
#include "data/wav_writer.h"
#include "model/mp3_model.h"
#include "music.h"

namespace model_bench {

inline double ThreadCpu() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// The whole file; empty when it cannot be read.
inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error) return {};
  std::vector<uint8_t> bytes(size);
  FILE* in = std::fopen(path.c_str(), "rb");
  if (!in || std::fread(bytes.data(), 1, bytes.size(), in) != bytes.size()) bytes.clear();
  if (in) std::fclose(in);
  return bytes;
}

// One kind of generated clip: `file` names its MP3 file (and --only picks by it); music-like
// clips come from music.h, the others from the tests' sample generator.
struct ClipKind {
  const char* name;
  const char* file;
  testdata::Sound sound;
  bool music;
  int rate, channels;
  const char* options;  // lame's
};

// In this order each kind has the seed 1 + its index, so every benchmark makes the same clips.
inline constexpr ClipKind kClipKinds[] = {
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

// Writes `seconds` of the kind's audio to `wav` and encodes it with lame into `mp3`; false when
// lame fails (or is missing).
inline bool MakeClip(const ClipKind& kind, double seconds, uint32_t seed, const std::string& wav,
                     const std::string& mp3) {
  testdata::WriteWav(wav,
                     kind.music ? bench_music::MakeMusic(kind.rate, seconds, seed)
                                : testdata::MakeSamples(kind.sound, kind.rate, kind.channels, seconds, seed),
                     kind.rate, kind.channels);
  const std::string command = "lame --quiet --resample " + std::to_string(kind.rate / 1000.0) + " " + kind.options +
                              " " + wav + " '" + mp3 + "'";
  return std::system(command.c_str()) == 0;
}

struct Steps {
  std::vector<std::vector<uint8_t>> literalRuns;  // one per break, in order
  std::vector<bool> isFrame;
};

// Sets the per-file state of a fresh model (StartStream with the options of the run).
using StartFunction = std::function<void(MP3Model&)>;
// Looks at the model once the file is coded, before it is freed.
using InspectFunction = std::function<void(const MP3Model&)>;

// Returns the coded bytes; fills the step kinds the decoder replays.
inline MemoryStream EncodeFile(FILE* in, Steps& steps, int32_t& length, const StartFunction& start,
                               const InspectFunction& inspect = {}) {
  MemoryStream stream;
  auto model = std::make_unique<MP3Model>();
  model->Input(in);
  length = model->stream_end;
  start(*model);
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
  if (inspect) inspect(*model);
  return stream;
}

inline MemoryStream EncodeFile(FILE* in, Steps& steps, int32_t& length, int repack = 0, int target = 0) {
  return EncodeFile(in, steps, length, [=](MP3Model& model) { model.StartStream(repack, target); });
}

inline void DecodeFile(MemoryStream& stream, const Steps& steps, int32_t length, FILE* out,
                       const StartFunction& start) {
  auto model = std::make_unique<MP3Model>();
  model->stream_end = length;
  start(*model);
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

inline void DecodeFile(MemoryStream& stream, const Steps& steps, int32_t length, FILE* out, int repack = 0,
                       int target = 0) {
  DecodeFile(stream, steps, length, out, [=](MP3Model& model) { model.StartStream(repack, target); });
}

// True when `file` holds exactly `original` from its start to its end.
inline bool SameBytes(FILE* file, const std::vector<uint8_t>& original) {
  std::vector<uint8_t> rebuilt(original.size());
  std::rewind(file);
  return std::fread(rebuilt.data(), 1, rebuilt.size(), file) == rebuilt.size() && rebuilt == original &&
         std::fgetc(file) == EOF;
}

}  // namespace model_bench
