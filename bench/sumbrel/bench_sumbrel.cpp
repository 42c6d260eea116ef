// bench-sumbrel [MB]: encodes a few clips with lame, arranges them into a collection of MP3
// files of at least MB megabytes (56 by default), and times `sumbrel compress` and
// `sumbrel restore` over it with -j 1 and with -j set to the processors this process may use.
// Wall-clock MB/s is what a user sees; CPU time (the command and its worker processes) tells
// how busy the machine was, which matters on a shared machine.
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/wav_writer.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double Seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; }

int Processors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  return sched_getaffinity(0, sizeof set, &set) == 0 ? std::max(CPU_COUNT(&set), 1) : 1;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Timing {
  double wall = 0, cpu = 0;
  bool ok = false;
};

// Runs `sumbrel` with the arguments, its summary lines sent to /dev/null; the CPU time
// includes its worker processes.
Timing RunSumbrel(std::vector<std::string> args) {
  args.insert(args.begin(), SUMBREL_BIN);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  Timing timing;
  const double start = Now();
  pid_t pid;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  if (spawned != 0 || wait4(pid, &status, 0, &usage) != pid) return timing;
  timing.wall = Now() - start;
  timing.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  timing.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return timing;
}

// Clips of different kinds, joined in turn into files of three clips each.
bool MakeCollection(const fs::path& dir, long targetBytes, std::vector<std::string>& files,
                    long& total) {
  struct Clip { testdata::Sound sound; int rate, channels; const char* options; };
  const Clip clips[] = {{testdata::Sound::Mixed, 44100, 2, "-b 192"},
                        {testdata::Sound::Tone, 44100, 2, "-V 2"},
                        {testdata::Sound::Transients, 44100, 2, "-b 128"},
                        {testdata::Sound::Mixed, 48000, 2, "-V 0"},
                        {testdata::Sound::Mixed, 22050, 2, "--resample 22.05 -b 64"}};
  std::vector<std::string> parts;
  uint32_t seed = 1;
  for (const Clip& clip : clips) {
    const std::string wav = dir / "clip.wav", mp3 = dir / "clip.mp3";
    testdata::WriteWav(wav, testdata::MakeSamples(clip.sound, clip.rate, clip.channels, 30, seed++),
                       clip.rate, clip.channels);
    const std::string command = "lame --quiet " + std::string(clip.options) + " " + wav + " " + mp3;
    if (std::system(command.c_str()) != 0) return false;
    parts.push_back(ReadAll(mp3));
    if (parts.back().empty()) return false;
  }
  fs::remove(dir / "clip.wav");
  fs::remove(dir / "clip.mp3");
  fs::create_directory(dir / "mp3");
  for (size_t n = 0; total < targetBytes; ++n) {
    const std::string path = dir / "mp3" / ("track" + std::to_string(n) + ".mp3");
    std::ofstream out(path, std::ios::binary);
    for (size_t k = 0; k < 3; ++k) {
      const std::string& part = parts[(n + k) % parts.size()];
      out.write(part.data(), std::streamsize(part.size()));
      total += long(part.size());
    }
    if (!out.flush()) return false;
    files.push_back(path);
  }
  return true;
}

long PackedTotal(const std::vector<std::string>& files) {
  long total = 0;
  for (const std::string& file : files) total += long(fs::file_size(file + ".sbk"));
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  const long targetMB = argc > 1 ? std::atol(argv[1]) : 56;
  if (argc > 2 || targetMB <= 0) {
    std::fprintf(stderr, "usage: bench-sumbrel [MB]\n");
    return 2;
  }
  char scratch[] = "/tmp/bench-sumbrel-XXXXXX";
  if (!mkdtemp(scratch)) {
    std::fprintf(stderr, "bench-sumbrel: cannot create a scratch directory\n");
    return 2;
  }
  const fs::path dir = scratch;
  std::vector<std::string> files;
  long total = 0;
  if (!MakeCollection(dir, targetMB * 1000000, files, total)) {
    std::fprintf(stderr, "bench-sumbrel: cannot make the collection (is lame installed?)\n");
    fs::remove_all(dir);
    return 2;
  }
  const double mb = double(total) / 1e6;
  const int processors = Processors();
  std::vector<int> jobCounts = {1};
  if (processors > 1) jobCounts.push_back(processors);
  std::printf("collection: %zu MP3 files, %.1f MB; %d processor(s)\n", files.size(), mb,
              processors);
  std::printf("%-22s %10s %10s %10s\n", "", "wall MB/s", "CPU MB/s", "wall s");

  bool ok = true;
  double compressWall[2] = {}, restoreWall[2] = {};
  long packed = 0;
  fs::create_directory(dir / "restored");
  for (size_t i = 0; i < jobCounts.size(); ++i) {
    const std::string jobs = std::to_string(jobCounts[i]);
    std::vector<std::string> args = {"compress", "-f", "-j", jobs};
    args.insert(args.end(), files.begin(), files.end());
    const Timing compress = RunSumbrel(args);
    packed = PackedTotal(files);
    // Restore into a folder of its own, so that the originals stay for the comparison.
    args = {"restore", "-f", "-j", jobs};
    for (const std::string& file : files) {
      const fs::path moved = dir / "restored" / (fs::path(file).filename().string() + ".sbk");
      fs::copy_file(file + ".sbk", moved, fs::copy_options::overwrite_existing);
      args.push_back(moved);
    }
    const Timing restore = RunSumbrel(args);
    bool identical = restore.ok;
    for (const std::string& file : files)
      identical = identical && ReadAll(file) == ReadAll(dir / "restored" / fs::path(file).filename());
    ok &= compress.ok && identical;
    compressWall[i] = compress.wall;
    restoreWall[i] = restore.wall;
    std::printf("%-22s %10.2f %10.2f %10.1f%s\n", ("compress -j " + jobs + ":").c_str(),
                mb / compress.wall, mb / compress.cpu, compress.wall, compress.ok ? "" : " FAILED");
    std::printf("%-22s %10.2f %10.2f %10.1f%s\n", ("restore  -j " + jobs + ":").c_str(),
                mb / restore.wall, mb / restore.cpu, restore.wall,
                identical ? "" : " FAILED or NOT IDENTICAL");
  }
  std::printf("saved: %.2f%% (%ld of %ld bytes)\n", 100.0 - 100.0 * double(packed) / double(total),
              total - packed, total);
  if (jobCounts.size() > 1)
    std::printf("speed-up of -j %d over -j 1: compress %.2fx, restore %.2fx\n", processors,
                compressWall[0] / compressWall[1], restoreWall[0] / restoreWall[1]);
  fs::remove_all(dir);
  return ok ? 0 : 1;
}
