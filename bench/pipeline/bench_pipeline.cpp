// bench-pipeline [MiB]: what orvane gains in front of a general compressor.
// Makes an archive of stand-in streams (32 MiB by default), then compresses it
// with xz -9 and zstd -19 alone and behind orvane e, and back, timing every
// step and checking that each way back gives the archive exactly.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver_samples.h"
#include "Threading.h"

extern char** environ;

namespace {

constexpr double MiB = 1024.0 * 1024.0;

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Time {
  double Wall = 0, Cpu = 0;
};

// Runs Argv (found on the PATH) from InPath into OutPath; returns its wall
// time and the CPU time it used, which a busy machine disturbs less.
Time Run(const std::vector<std::string>& Argv, const std::string& InPath, const std::string& OutPath) {
  const int In = open(InPath.c_str(), O_RDONLY);
  const int Out = open(OutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (In < 0 || Out < 0) throw std::runtime_error("cannot open " + InPath + " or " + OutPath);
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_adddup2(&Actions, In, 0);
  posix_spawn_file_actions_adddup2(&Actions, Out, 1);
  std::vector<char*> Args;
  for (const auto& A : Argv) Args.push_back(const_cast<char*>(A.c_str()));
  Args.push_back(nullptr);
  const double Start = Now();
  pid_t Pid;
  const int Spawned = posix_spawnp(&Pid, Args[0], &Actions, nullptr, Args.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  close(In);
  close(Out);
  if (Spawned != 0) throw std::runtime_error("cannot start " + Argv[0] + " (is it installed?)");
  int Status;
  rusage Usage;
  wait4(Pid, &Status, 0, &Usage);
  if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0) throw std::runtime_error(Argv[0] + " failed");
  Time T;
  T.Wall = Now() - Start;
  T.Cpu = Usage.ru_utime.tv_sec + Usage.ru_utime.tv_usec / 1e6 + Usage.ru_stime.tv_sec + Usage.ru_stime.tv_usec / 1e6;
  return T;
}

std::string ReadAll(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), {});
}

struct Step {
  std::vector<std::string> Argv;
  std::string Name;
};

struct Row {
  std::string Name;
  double Size = 0;
  std::vector<std::pair<std::string, Time>> There, Back;
};

// Pipes the archive through the steps one after the other (each reading the
// file the previous one wrote), then back through their inverses, and checks
// that the archive comes back.
Row Measure(const std::string& Name, const std::string& Archive, const std::string& Dir,
            const std::vector<Step>& There, const std::vector<Step>& Back) {
  Row R;
  R.Name = Name;
  std::string Current = Archive;
  for (size_t i = 0; i < There.size(); ++i) {
    const std::string Next = Dir + "/there-" + std::to_string(i);
    R.There.push_back({There[i].Name, Run(There[i].Argv, Current, Next)});
    Current = Next;
  }
  R.Size = static_cast<double>(std::filesystem::file_size(Current));
  for (size_t i = 0; i < Back.size(); ++i) {
    const std::string Next = Dir + "/back-" + std::to_string(i);
    R.Back.push_back({Back[i].Name, Run(Back[i].Argv, Current, Next)});
    Current = Next;
  }
  if (ReadAll(Current) != ReadAll(Archive)) throw std::runtime_error(Name + ": the archive did not come back");
  return R;
}

// "wall s (CPU s)" in all, and per step when there are several.
std::string Times(const std::vector<std::pair<std::string, Time>>& Steps) {
  Time Sum;
  std::string Parts;
  char Text[96];
  for (const auto& [Name, T] : Steps) {
    Sum.Wall += T.Wall;
    Sum.Cpu += T.Cpu;
    std::snprintf(Text, sizeof Text, "%s%s %.1f s (%.1f s)", Parts.empty() ? "" : ", ", Name.c_str(), T.Wall, T.Cpu);
    Parts += Text;
  }
  std::snprintf(Text, sizeof Text, "%.1f s (%.1f s)", Sum.Wall, Sum.Cpu);
  return std::string(Text) + (Steps.size() > 1 ? ": " + Parts : "");
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const size_t Size = (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 32) << 20;
    const std::string Dir = BENCH_DATA_DIR;
    std::filesystem::create_directories(Dir);
    const std::string Archive = Dir + "/archive.bin";
    uint64_t Contents = 0;
    std::vector<int> Levels;
    {
      // Streams of 16 KiB to 1 MiB of text or records at levels 1, 2, 4, 6 and 9, with
      // up to 4 KiB of random bytes or text between them.
      const std::string Data = samples::Archive(Size, 1, 16384, 1 << 20, &Contents, &Levels);
      std::ofstream(Archive, std::ios::binary).write(Data.data(), static_cast<std::streamsize>(Data.size()));
    }
    const double Input = static_cast<double>(std::filesystem::file_size(Archive));
    std::printf("pipeline benchmark: %d cores, archive %.1f MiB with %zu streams, %.1f MiB of contents\n",
                GetCPUCount(), Input / MiB, Levels.size(), Contents / MiB);
    std::fflush(stdout);

    const Step OrvaneE{{ORVANE_BIN, "e"}, "orvane e"}, OrvaneD{{ORVANE_BIN, "d"}, "orvane d"};
    const Step Xz{{"xz", "-9"}, "xz -9"}, Unxz{{"xz", "-d"}, "xz -d"};
    const Step Zstd{{"zstd", "-19"}, "zstd -19"}, Unzstd{{"zstd", "-d"}, "zstd -d"};
    std::vector<Row> Rows;
    Rows.push_back(Measure("orvane e alone", Archive, Dir, {OrvaneE}, {OrvaneD}));
    Rows.push_back(Measure("xz -9", Archive, Dir, {Xz}, {Unxz}));
    Rows.push_back(Measure("zstd -19", Archive, Dir, {Zstd}, {Unzstd}));
    Rows.push_back(Measure("orvane e + xz -9", Archive, Dir, {OrvaneE, Xz}, {Unxz, OrvaneD}));
    Rows.push_back(Measure("orvane e + zstd -19", Archive, Dir, {OrvaneE, Zstd}, {Unzstd, OrvaneD}));

    std::printf("\ntimes: wall (CPU)\n| pipeline | output | of input | there | back |\n|---|---:|---:|---|---|\n");
    std::printf("| input | %.1f MiB | 100%% | | |\n", Input / MiB);
    for (const Row& R : Rows)
      std::printf("| %s | %.1f MiB | %.1f%% | %s | %s |\n", R.Name.c_str(), R.Size / MiB, 100.0 * R.Size / Input,
                  Times(R.There).c_str(), Times(R.Back).c_str());
    std::printf("\nevery way back gave the archive exactly\n");
    for (const auto& Entry : std::filesystem::directory_iterator(Dir))
      if (Entry.path().filename() != "archive.bin") std::filesystem::remove(Entry.path());
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "bench-pipeline: %s\n", Error.what());
    return 1;
  }
  return 0;
}
