// A corpus of MP3 files encoded with Debian's lame from generated audio. It is made once
// and kept in a shared temporary folder, so the many test processes CTest starts reuse it.
#pragma once
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "wav_writer.h"

namespace testdata {

struct CorpusFile {
  std::string name;
  Sound sound;
  int rate;  // sample rate of the generated audio, also passed to --resample
  int channels;
  double seconds;
  std::string options;
  bool layer3Frames;  // false for streams the reader must pass as literal bytes
};

inline const std::vector<CorpusFile>& CorpusFiles() {
  static const std::vector<CorpusFile> files = {
      {"m1_44_joint_cbr", Sound::Mixed, 44100, 2, 3, "-b 128", true},
      {"m1_48_stereo", Sound::Tone, 48000, 2, 2, "-m s -b 192", true},
      {"m1_32_mono", Sound::Noise, 32000, 1, 2, "-m m -b 64", true},
      {"m1_44_forced_ms", Sound::Mixed, 44100, 2, 2, "-m f -b 160", true},
      {"m1_44_vbr", Sound::Mixed, 44100, 2, 3, "-V 2", true},
      {"m1_44_abr", Sound::Noise, 44100, 2, 2, "--abr 100", true},
      {"m1_44_crc", Sound::Mixed, 44100, 2, 2, "-p -b 128", true},
      {"m1_44_tags", Sound::Tone, 44100, 2, 2,
       "-b 96 --add-id3v2 --tt Title --ta Artist --tl Album --ty 2024", true},
      {"m1_44_transients", Sound::Transients, 44100, 2, 3, "-b 128", true},
      {"m1_44_silence", Sound::Silence, 44100, 2, 2, "-b 32", true},
      {"m1_48_nores", Sound::Mixed, 48000, 2, 2, "--nores -b 112", true},
      {"m2_22_joint", Sound::Mixed, 22050, 2, 3, "-b 64", true},
      {"m2_24_mono_crc", Sound::Tone, 24000, 1, 2, "-m m -b 32 -p", true},
      {"m2_16_vbr", Sound::Mixed, 16000, 2, 3, "-V 5", true},
      {"m2_22_crc_vbr", Sound::Transients, 22050, 2, 3, "-p -V 4", true},
      {"m2_24_tiny_frames", Sound::Mixed, 24000, 1, 24, "-m m -b 8", true},
      {"m25_11", Sound::Mixed, 11025, 2, 3, "-b 32", true},
      {"m25_12_stereo", Sound::Transients, 12000, 2, 3, "-m s -b 24", true},
      {"m25_8", Sound::Noise, 8000, 1, 3, "-b 8", true},
      {"m25_8_abr_ms", Sound::Mixed, 8000, 2, 3, "--abr 24 -m f", true},
      {"free_format", Sound::Mixed, 44100, 2, 2, "--freeformat -b 320", false},
  };
  return files;
}

// Returns the folder holding <name>.mp3 for every corpus file, or "" when lame failed.
inline std::string CorpusDir() {
  namespace fs = std::filesystem;
  static std::string dir = [] {
    const fs::path target = fs::temp_directory_path() / "sumbrel-bitstream-corpus-v1";
    if (fs::exists(target / "complete")) return target.string();
    char scratch[] = "/tmp/sumbrel-corpus-XXXXXX";
    if (!mkdtemp(scratch)) return std::string();
    uint32_t seed = 1;
    for (const CorpusFile& file : CorpusFiles()) {
      const std::string wav = std::string(scratch) + "/" + file.name + ".wav";
      const std::string mp3 = std::string(scratch) + "/" + file.name + ".mp3";
      WriteWav(wav, MakeSamples(file.sound, file.rate, file.channels, file.seconds, seed++),
               file.rate, file.channels);
      const std::string command = "lame --quiet --resample " + std::to_string(file.rate / 1000.0) +
                                  " " + file.options + " '" + wav + "' '" + mp3 + "'";
      if (std::system(command.c_str()) != 0) return std::string();
      fs::remove(wav);
    }
    std::FILE* done = std::fopen((std::string(scratch) + "/complete").c_str(), "w");
    if (done) std::fclose(done);
    std::error_code error;
    fs::rename(scratch, target, error);
    if (error) fs::remove_all(scratch);  // another process finished first
    return fs::exists(target / "complete") ? target.string() : std::string();
  }();
  return dir;
}

}  // namespace testdata
