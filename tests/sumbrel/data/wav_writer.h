// Writes short 16-bit PCM WAV clips (tones, noise, silence, transients) for tests that
// encode their own MP3 files.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace testdata {

enum class Sound { Tone, Noise, Silence, Transients, Mixed };

inline std::vector<int16_t> MakeSamples(Sound sound, int rate, int channels, double seconds,
                                        uint32_t seed) {
  const int frames = int(rate * seconds);
  std::vector<int16_t> samples(size_t(frames) * channels);
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0.0, 6000.0);
  for (int i = 0; i < frames; ++i) {
    const double t = double(i) / rate;
    for (int ch = 0; ch < channels; ++ch) {
      double v = 0;
      switch (sound) {
        case Sound::Tone:
          v = 9000 * std::sin(2 * M_PI * (440 + 220 * ch) * t) +
              3000 * std::sin(2 * M_PI * 3100 * t);
          break;
        case Sound::Noise:
          v = noise(random);
          break;
        case Sound::Silence:
          break;
        case Sound::Transients:
          // Sharp clicks over near silence make the encoder switch to short blocks.
          v = (i % (rate / 4) < rate / 400) ? 28000 * ((i & 1) ? 1 : -1) : noise(random) * 0.01;
          break;
        case Sound::Mixed:
          v = 7000 * std::sin(2 * M_PI * 330 * t * (1 + ch * 0.01)) + noise(random) * 0.3 +
              ((i % (rate / 3) < rate / 500) ? 20000 : 0);
          break;
      }
      samples[size_t(i) * channels + ch] = int16_t(std::lround(std::fmax(-32767, std::fmin(32767, v))));
    }
  }
  return samples;
}

inline bool WriteWav(const std::string& path, const std::vector<int16_t>& samples, int rate,
                     int channels) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  auto u32 = [&](uint32_t v) { for (int k = 0; k < 4; ++k) std::fputc(int(v >> (8 * k) & 255), f); };
  auto u16 = [&](uint16_t v) { std::fputc(v & 255, f), std::fputc(v >> 8, f); };
  const uint32_t dataBytes = uint32_t(samples.size() * 2);
  std::fwrite("RIFF", 1, 4, f), u32(36 + dataBytes), std::fwrite("WAVEfmt ", 1, 8, f);
  u32(16), u16(1), u16(uint16_t(channels)), u32(uint32_t(rate)), u32(uint32_t(rate * channels * 2));
  u16(uint16_t(channels * 2)), u16(16), std::fwrite("data", 1, 4, f), u32(dataBytes);
  for (int16_t s : samples) u16(uint16_t(s));
  return std::fclose(f) == 0;
}

}  // namespace testdata
