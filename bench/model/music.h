// Generated audio that resembles music more than tones or noise do: three voices of harmonic
// notes with attack and decay on a chord progression, a bass line, noise-burst drums, the
// voices panned apart so that left and right differ, and a little echo. 16-bit stereo.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace bench_music {

inline std::vector<int16_t> MakeMusic(int rate, double seconds, uint32_t seed) {
  const int frames = int(rate * seconds);
  std::vector<double> left(size_t(frames), 0.0), right(size_t(frames), 0.0);
  std::mt19937 random(seed);
  const double kPi = 3.14159265358979323846;
  const double beat = 60.0 / 112;  // seconds per beat
  const int beats = int(seconds / beat) + 1;
  // Chords as semitones above A2 (110 Hz): i, VI, III, VII of A minor.
  const int chords[4][3] = {{12, 15, 19}, {8, 12, 15}, {15, 19, 22}, {10, 14, 17}};
  auto frequency = [](int semitones) { return 110.0 * std::pow(2.0, semitones / 12.0); };

  // One note: a few harmonics falling off with their number, a fast attack and an
  // exponential decay, panned by `pan` (0 left .. 1 right).
  auto addNote = [&](double start, double length, double hz, double gain, double pan, int harmonics) {
    const int from = int(start * rate), to = std::min(frames, int((start + length) * rate));
    const double attack = 0.01, decay = length / 3;
    for (int i = std::max(from, 0); i < to; ++i) {
      const double t = double(i - from) / rate;
      const double envelope = std::min(1.0, t / attack) * std::exp(-t / decay);
      double value = 0;
      for (int h = 1; h <= harmonics; ++h) value += std::sin(2 * kPi * hz * h * t) / (h * h);
      value *= gain * envelope;
      left[size_t(i)] += value * (1 - pan);
      right[size_t(i)] += value * pan;
    }
  };

  std::uniform_real_distribution<double> jitter(-0.01, 0.01);
  std::normal_distribution<double> noise(0.0, 1.0);
  for (int b = 0; b < beats; ++b) {
    const double t = b * beat;
    const int* chord = chords[(b / 4) % 4];
    // Melody voice: one chord note per beat, an octave up, to the left.
    addNote(t + jitter(random), beat * 0.9, frequency(chord[random() % 3] + 12), 2600, 0.3, 6);
    // Pad voices: the whole chord on every bar's first beat, one each side.
    if (b % 4 == 0) {
      addNote(t, beat * 4, frequency(chord[0]), 1500, 0.8, 4);
      addNote(t, beat * 4, frequency(chord[1]), 1200, 0.2, 4);
      addNote(t, beat * 4, frequency(chord[2]), 1100, 0.6, 4);
    }
    // Bass: the root on every beat, two octaves down, in the middle.
    addNote(t, beat * 0.8, frequency(chord[0] - 12), 4200, 0.5, 3);
    // Drums: a short noise burst on the off-beats, a low thump on every other beat.
    const int from = int((t + beat / 2) * rate);
    for (int i = from; i < std::min(frames, from + rate / 25); ++i) {
      const double v = 2500 * noise(random) * std::exp(-double(i - from) / (rate / 120.0));
      left[size_t(i)] += v * 0.6;
      right[size_t(i)] += v * 0.4;
    }
    if (b % 2 == 0) addNote(t, 0.15, 55, 6000, 0.5, 1);
  }
  // A little echo, longer on the right than on the left.
  const int delayLeft = int(0.19 * rate), delayRight = int(0.23 * rate);
  for (int i = frames - 1; i >= 0; --i) {
    if (i >= delayLeft) left[size_t(i)] += 0.25 * left[size_t(i - delayLeft)];
    if (i >= delayRight) right[size_t(i)] += 0.25 * right[size_t(i - delayRight)];
  }
  std::vector<int16_t> samples(size_t(frames) * 2);
  for (int i = 0; i < frames; ++i) {
    samples[2 * size_t(i)] = int16_t(std::clamp(left[size_t(i)], -32767.0, 32767.0));
    samples[2 * size_t(i) + 1] = int16_t(std::clamp(right[size_t(i)], -32767.0, 32767.0));
  }
  return samples;
}

}  // namespace bench_music
