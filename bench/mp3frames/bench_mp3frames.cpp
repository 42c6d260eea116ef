// bench-mp3frames [MB] [runs]: encodes a few clips with lame, repeats them into one MP3 file
// of at least MB megabytes (default 64), then times `mp3frames IN OUT` on it next to a plain
// copy, best of `runs` (default 3). Both wall-clock and CPU time (user + system) are shown:
// on a shared machine the CPU figure is the one that tells how fast the code is.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "data/wav_writer.h"

extern char** environ;

namespace {

struct Timing {
  double wall = 1e30, cpu = 1e30;
  void Keep(double w, double c) { wall = std::min(wall, w), cpu = std::min(cpu, c); }
};

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double ProcessCpu() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double Seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; }

bool Copy(const std::string& from, const std::string& to) {
  FILE* in = std::fopen(from.c_str(), "rb");
  FILE* out = std::fopen(to.c_str(), "wb");
  bool ok = in && out;
  static char buffer[1 << 16];
  size_t n;
  while (ok && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
    ok = std::fwrite(buffer, 1, n, out) == n;
  if (in) ok &= !std::ferror(in), std::fclose(in);
  if (out) ok &= std::fclose(out) == 0;
  return ok;
}

// Runs the program with its standard output in `report` and returns its exit status and its
// own wall-clock and CPU time.
int Run(const std::vector<std::string>& args, const std::string& report, double& wall,
        double& cpu) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const double start = Now();
  pid_t pid;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return -1;
  wall = Now() - start;
  cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool MakeInput(const std::string& dir, long targetBytes, std::string& big, long& total,
               size_t& clipCount) {
  struct Clip { testdata::Sound sound; int rate, channels; const char* options; };
  const Clip clips[] = {{testdata::Sound::Mixed, 44100, 2, "-b 320"},
                        {testdata::Sound::Noise, 44100, 2, "-V 0"},
                        {testdata::Sound::Transients, 44100, 2, "-b 128"},
                        {testdata::Sound::Mixed, 22050, 2, "--resample 22.05 -b 64"}};
  std::vector<std::vector<char>> parts;
  uint32_t seed = 1;
  for (const Clip& clip : clips) {
    const std::string wav = dir + "/clip.wav", mp3 = dir + "/clip.mp3";
    testdata::WriteWav(wav, testdata::MakeSamples(clip.sound, clip.rate, clip.channels, 40, seed++),
                       clip.rate, clip.channels);
    const std::string command = "lame --quiet -t " + std::string(clip.options) + " " + wav + " " + mp3;
    if (std::system(command.c_str()) != 0) return false;
    std::vector<char> bytes(std::filesystem::file_size(mp3));
    FILE* in = std::fopen(mp3.c_str(), "rb");
    const bool read = in && std::fread(bytes.data(), 1, bytes.size(), in) == bytes.size();
    if (in) std::fclose(in);
    if (!read || bytes.empty()) return false;
    parts.push_back(std::move(bytes));
  }
  clipCount = parts.size();
  big = dir + "/big.mp3";
  FILE* out = std::fopen(big.c_str(), "wb");
  if (!out) return false;
  bool ok = true;
  for (total = 0; ok && total < targetBytes;)
    for (const std::vector<char>& part : parts) {
      ok &= std::fwrite(part.data(), 1, part.size(), out) == part.size();
      total += long(part.size());
    }
  return std::fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  const long targetMB = argc > 1 ? std::atol(argv[1]) : 64;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  if (argc > 3 || targetMB <= 0 || runs <= 0) {
    std::fprintf(stderr, "usage: bench-mp3frames [MB] [runs]\n");
    return 2;
  }
  char scratch[] = "/tmp/bench-mp3frames-XXXXXX";
  if (!mkdtemp(scratch)) {
    std::fprintf(stderr, "bench-mp3frames: cannot create a scratch directory\n");
    return 2;
  }
  const std::string dir = scratch;
  std::string big;
  long total = 0;
  size_t clipCount = 0;
  if (!MakeInput(dir, targetMB << 20, big, total, clipCount)) {
    std::fprintf(stderr, "bench-mp3frames: cannot make the input (is lame installed?)\n");
    std::filesystem::remove_all(dir);
    return 2;
  }

  const std::string out = dir + "/out.mp3", copy = dir + "/copy.mp3", report = dir + "/report.txt";
  Timing copyTime, rewriteTime;
  bool copied = true, identical = true;
  for (int run = 0; run < runs; ++run) {
    const double wallStart = Now(), cpuStart = ProcessCpu();
    copied &= Copy(big, copy);
    copyTime.Keep(Now() - wallStart, ProcessCpu() - cpuStart);
    double wall = 0, cpu = 0;
    identical &= Run({MP3FRAMES_BIN, big, out}, report, wall, cpu) == 0;
    rewriteTime.Keep(wall, cpu);
  }

  const double mb = double(total) / 1e6;
  std::printf("input: %.1f MB of MP3 (%zu clips repeated), best of %d runs\n", mb, clipCount, runs);
  std::printf("%-18s %8s %8s\n", "", "wall", "CPU");
  std::printf("%-18s %8.1f %8.1f MB/s%s\n", "plain copy:", mb / copyTime.wall, mb / copyTime.cpu,
              copied ? "" : " (FAILED)");
  std::printf("%-18s %8.1f %8.1f MB/s (mp3frames on one core, its final compare included)%s\n",
              "read and rewrite:", mb / rewriteTime.wall, mb / rewriteTime.cpu,
              identical ? "" : " (NOT IDENTICAL)");
  if (FILE* f = std::fopen(report.c_str(), "r")) {
    char line[512];
    while (std::fgets(line, sizeof line, f)) std::printf("mp3frames: %s", line);
    std::fclose(f);
  }
  std::filesystem::remove_all(dir);
  return identical && copied ? 0 : 1;
}
