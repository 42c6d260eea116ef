// bench_mp3frames [MB]: encodes a few clips with lame, repeats them into one MP3 file of at
// least MB megabytes (default 64), then times `mp3frames IN OUT` on it next to a plain copy.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "data/wav_writer.h"

namespace {

double Seconds(const std::chrono::steady_clock::time_point& start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool Copy(const std::string& from, const std::string& to) {
  FILE* in = std::fopen(from.c_str(), "rb");
  FILE* out = std::fopen(to.c_str(), "wb");
  if (!in || !out) return false;
  static char buffer[1 << 16];
  size_t n;
  bool ok = true;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) ok &= std::fwrite(buffer, 1, n, out) == n;
  std::fclose(in);
  return std::fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  const long targetMB = argc > 1 ? std::atol(argv[1]) : 64;
  char scratch[] = "/tmp/bench-mp3frames-XXXXXX";
  if (!mkdtemp(scratch)) return 1;
  const std::string dir = scratch;
  struct Clip { testdata::Sound sound; int rate, channels; const char* options; };
  const Clip clips[] = {{testdata::Sound::Mixed, 44100, 2, "-b 320"},
                        {testdata::Sound::Noise, 44100, 2, "-V 0"},
                        {testdata::Sound::Transients, 44100, 2, "-b 128"},
                        {testdata::Sound::Mixed, 22050, 2, "--resample 22.05 -b 64"}};
  std::vector<std::string> parts;
  uint32_t seed = 1;
  for (const Clip& clip : clips) {
    const std::string wav = dir + "/clip.wav", mp3 = dir + "/clip" + std::to_string(seed) + ".mp3";
    testdata::WriteWav(wav, testdata::MakeSamples(clip.sound, clip.rate, clip.channels, 40, seed++),
                       clip.rate, clip.channels);
    const std::string command = "lame --quiet -t " + std::string(clip.options) + " " + wav + " " + mp3;
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "bench_mp3frames: lame failed\n");
      return 1;
    }
    parts.push_back(mp3);
  }
  const std::string big = dir + "/big.mp3", out = dir + "/out.mp3", copy = dir + "/copy.mp3";
  FILE* f = std::fopen(big.c_str(), "wb");
  long total = 0;
  while (total < targetMB << 20)
    for (const std::string& part : parts) {
      FILE* in = std::fopen(part.c_str(), "rb");
      for (int c; (c = std::getc(in)) != EOF; ++total) std::putc(c, f);
      std::fclose(in);
    }
  std::fclose(f);

  const double mb = double(total) / 1e6;
  auto start = std::chrono::steady_clock::now();
  const bool copied = Copy(big, copy);
  const double copySeconds = Seconds(start);

  start = std::chrono::steady_clock::now();
  const std::string command = std::string(BIN_DIR) + "/mp3frames " + big + " " + out;
  const int status = std::system(command.c_str());
  const double rewriteSeconds = Seconds(start);

  std::printf("input: %.1f MB of MP3 (%zu clips repeated)\n", mb, parts.size());
  std::printf("plain copy:         %8.1f MB/s%s\n", mb / copySeconds, copied ? "" : " (failed)");
  std::printf("read and rewrite:   %8.1f MB/s (mp3frames, one core, includes its final compare)%s\n",
              mb / rewriteSeconds, status == 0 ? "" : " (NOT IDENTICAL)");
  std::filesystem::remove_all(dir);
  return status == 0 && copied ? 0 : 1;
}
