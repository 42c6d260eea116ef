// bench-orvane [MiB] [--baseline ORVANE [--runs N]]: throughput, peak memory
// and CPU use of orvane e and orvane d on a synthetic archive of stand-in
// streams (512 MiB by default), with the reference figures of the same machine
// next to them, and encode's speed as a share of decode's.
//
// With --baseline, another build of orvane (an earlier commit, say) encodes
// and decodes the same archive side by side with this one: the two alternate
// run by run, N rounds (default 3), and the best time of each counts, since
// the machine's speed drifts from run to run.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "crc32.h"
#include "OodleDLL.h"
#include "Threading.h"
#include "driver_samples.h"

extern char** environ;

namespace {

constexpr double MiB = 1024.0 * 1024.0;
constexpr int Levels[] = {1, 2, 3, 5, 7};

struct StreamEntry {
  uint64_t offset;
  uint32_t packed, plain;
  int32_t level;
};

struct RunResult {
  double seconds = 0, cpu = 0, peakMiB = 0;
  uint64_t bytesOut = 0;
  uint32_t crc = 0;
};

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void WriteAll(const std::string& Path, const std::string& Data) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(Data.data(), static_cast<std::streamsize>(Data.size()));
  if (!Out) throw std::runtime_error("cannot write " + Path);
}

// Streams of 64 KiB to 8 MiB of contents (sizes spread evenly on a log scale),
// text or binary records, at mixed levels, with up to 64 KiB of random or text
// bytes between them.
void MakeArchive(const std::string& Path, const std::string& IndexPath, size_t Size) {
  std::mt19937_64 Rng(2024);
  std::string Out;
  Out.reserve(Size + (9u << 20));
  std::vector<StreamEntry> Index;
  while (Out.size() < Size) {
    const size_t Gap = Rng() % 65536;
    Out += (Rng() % 2) ? samples::RandomBytes(Gap, static_cast<uint32_t>(Rng()))
                       : samples::TextBytes(Gap, static_cast<uint32_t>(Rng()));
    const double Scale = std::uniform_real_distribution<double>(16.0, 23.0)(Rng);
    const size_t Plain = static_cast<size_t>(std::exp2(Scale));
    const std::string Contents = (Rng() % 2) ? samples::TextBytes(Plain, static_cast<uint32_t>(Rng()))
                                             : samples::BinaryBytes(Plain, static_cast<uint32_t>(Rng()));
    const int Level = Levels[Rng() % 5];
    const std::string Packed = samples::PackStream(Contents, Level);
    Index.push_back({Out.size(), static_cast<uint32_t>(Packed.size()), static_cast<uint32_t>(Plain), Level});
    Out += Packed;
  }
  WriteAll(Path, Out);
  WriteAll(IndexPath, std::string(reinterpret_cast<const char*>(Index.data()), Index.size() * sizeof(StreamEntry)));
}

// Random bytes and text, without a single stream.
void MakePlain(const std::string& Path, size_t Size) {
  std::mt19937 Rng(7);
  std::string Out;
  Out.reserve(Size + (1u << 20));
  while (Out.size() < Size)
    Out += (Rng() % 2) ? samples::RandomBytes(1u << 20, Rng()) : samples::TextBytes(1u << 20, Rng());
  Out.resize(Size);
  WriteAll(Path, Out);
}

// Runs Argv with standard input from InputPath and standard output into a
// pipe that this process drains (into SavePath when given), timing the child
// alone: wall time, CPU time and peak resident memory of that one process.
RunResult Run(const std::vector<std::string>& Argv, const std::string& InputPath, const std::string& SavePath = "",
              bool Checksum = false) {
  int Pipe[2];
  if (pipe(Pipe) != 0) throw std::runtime_error("pipe failed");
  const int In = open(InputPath.c_str(), O_RDONLY);
  if (In < 0) throw std::runtime_error("cannot open " + InputPath);
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_adddup2(&Actions, In, 0);
  posix_spawn_file_actions_adddup2(&Actions, Pipe[1], 1);
  posix_spawn_file_actions_addclose(&Actions, Pipe[0]);
  std::vector<char*> Args;
  for (const auto& A : Argv) Args.push_back(const_cast<char*>(A.c_str()));
  Args.push_back(nullptr);

  RunResult R;
  const double Start = Now();
  pid_t Pid;
  if (posix_spawn(&Pid, Args[0], &Actions, nullptr, Args.data(), environ) != 0)
    throw std::runtime_error("cannot start " + Argv[0]);
  posix_spawn_file_actions_destroy(&Actions);
  close(Pipe[1]);
  close(In);
  const int Save = SavePath.empty() ? -1 : open(SavePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<uint8_t> Buffer(1 << 20);
  for (;;) {
    const ssize_t N = read(Pipe[0], Buffer.data(), Buffer.size());
    if (N <= 0) break;
    R.bytesOut += static_cast<uint64_t>(N);
    if (Checksum) R.crc = Crc32(Buffer.data(), static_cast<size_t>(N), R.crc);
    if (Save >= 0 && write(Save, Buffer.data(), static_cast<size_t>(N)) != N)
      throw std::runtime_error("cannot save output");
  }
  close(Pipe[0]);
  if (Save >= 0) close(Save);
  int Status;
  rusage Usage;
  wait4(Pid, &Status, 0, &Usage);
  R.seconds = Now() - Start;
  if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0) throw std::runtime_error(Argv[0] + " failed");
  R.cpu = Usage.ru_utime.tv_sec + Usage.ru_utime.tv_usec / 1e6 + Usage.ru_stime.tv_sec + Usage.ru_stime.tv_usec / 1e6;
  R.peakMiB = Usage.ru_maxrss / 1024.0;
  return R;
}

uint32_t FileCrc(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::vector<char> Buffer(1 << 20);
  uint32_t Crc = 0;
  while (In.read(Buffer.data(), static_cast<std::streamsize>(Buffer.size())) || In.gcount() > 0)
    Crc = Crc32(reinterpret_cast<const uint8_t*>(Buffer.data()), static_cast<size_t>(In.gcount()), Crc);
  return Crc;
}

std::string Figures(const RunResult& R, double InputBytes) {
  char Text[200];
  std::snprintf(Text, sizeof Text, "%8.1f MB/s of input, peak %7.1f MiB, CPU %5.0f%%", InputBytes / 1e6 / R.seconds,
                R.peakMiB, 100.0 * R.cpu / R.seconds);
  return Text;
}

}  // namespace

// This build against Baseline, alternating, best of Runs: encode of the
// archive and decode of each one's own container.
void CompareWithBaseline(const std::string& Baseline, int Runs, const std::string& Archive,
                         const std::string& Container, double ArchiveBytes) {
  const std::string BaselineContainer = Container + ".baseline";
  struct Side {
    std::string binary, container;
    double encode = 1e300, decode = 1e300;
  } Sides[2] = {{Baseline, BaselineContainer}, {ORVANE_BIN, Container}};
  const uint32_t Expected = FileCrc(Archive);
  for (int Round = 0; Round < Runs; ++Round) {
    for (int i = 0; i < 2; ++i) {
      Side& S = Sides[(Round + i) % 2];  // who goes first alternates too
      S.encode = std::min(S.encode, Run({S.binary, "e"}, Archive, S.container).seconds);
      const RunResult Dec = Run({S.binary, "d"}, S.container, "", true);
      if (Dec.bytesOut != static_cast<uint64_t>(ArchiveBytes) || Dec.crc != Expected)
        throw std::runtime_error(S.binary + " d did not give the archive back");
      S.decode = std::min(S.decode, Dec.seconds);
    }
  }
  std::filesystem::remove(BaselineContainer);
  auto Rate = [&](double Seconds) { return ArchiveBytes / 1e6 / Seconds; };
  std::printf("side by side with %s, best of %d, MB/s of archive:\n", Baseline.c_str(), Runs);
  std::printf("  encode   baseline %7.1f   this build %7.1f   ratio %.3f\n", Rate(Sides[0].encode),
              Rate(Sides[1].encode), Sides[0].encode / Sides[1].encode);
  std::printf("  decode   baseline %7.1f   this build %7.1f   ratio %.3f (target >= 0.95)\n", Rate(Sides[0].decode),
              Rate(Sides[1].decode), Sides[0].decode / Sides[1].decode);
  std::printf("  this build's encode vs its decode: %.2f (target >= 0.60)\n", Sides[1].decode / Sides[1].encode);
}

int main(int argc, char** argv) {
  try {
    size_t Size = size_t(512) << 20;
    std::string Baseline;
    int Runs = 3;
    for (int i = 1; i < argc; ++i) {
      const std::string Arg = argv[i];
      if (Arg == "--baseline" && i + 1 < argc)
        Baseline = argv[++i];
      else if (Arg == "--runs" && i + 1 < argc)
        Runs = std::max(1, std::atoi(argv[++i]));
      else if (!Arg.empty() && Arg.find_first_not_of("0123456789") == std::string::npos)
        Size = std::strtoull(Arg.c_str(), nullptr, 10) << 20;
      else
        throw std::runtime_error("usage: bench-orvane [MiB] [--baseline ORVANE [--runs N]]");
    }
    const std::string Dir = BENCH_DATA_DIR;
    std::filesystem::create_directories(Dir);
    const std::string Tag = std::to_string(Size >> 20);
    const std::string Archive = Dir + "/archive-" + Tag + ".bin", Index = Dir + "/archive-" + Tag + ".idx";
    const std::string Plain = Dir + "/plain-" + Tag + ".bin", Container = Dir + "/archive-" + Tag + ".orv";
    if (!std::filesystem::exists(Index)) {
      std::printf("making the %s MiB archive once (kept in %s) ...\n", Tag.c_str(), Dir.c_str());
      std::fflush(stdout);
      MakeArchive(Archive, Index + ".part", Size);
      std::filesystem::rename(Index + ".part", Index);
      std::filesystem::remove(Plain);
    }
    if (!std::filesystem::exists(Plain)) {
      MakePlain(Plain, Size);
      // A child started by posix_spawn is charged the peak memory of this
      // process; start afresh so the figures are the programs' own.
      execv("/proc/self/exe", argv);
      throw std::runtime_error("cannot restart the benchmark");
    }

    std::vector<StreamEntry> Streams(std::filesystem::file_size(Index) / sizeof(StreamEntry));
    std::ifstream(Index, std::ios::binary).read(reinterpret_cast<char*>(Streams.data()),
                                                 static_cast<std::streamsize>(Streams.size() * sizeof(StreamEntry)));
    const double ArchiveBytes = static_cast<double>(std::filesystem::file_size(Archive));
    double ContentBytes = 0;
    uint32_t Largest = 0;
    for (const auto& S : Streams) {
      ContentBytes += S.plain;
      Largest = std::max(Largest, S.plain);
    }

    const int Cores = GetCPUCount();
    std::printf("orvane benchmark: %d cores, archive %.0f MiB with %zu streams, %.0f MiB of contents, levels 1 2 3 5 7\n",
                Cores, ArchiveBytes / MiB, Streams.size(), ContentBytes / MiB);

    const RunResult CatArchive = Run({"/bin/cat"}, Archive);
    const RunResult CatPlain = Run({"/bin/cat"}, Plain);
    std::printf("cat through a pipe, archive      %s\n", Figures(CatArchive, ArchiveBytes).c_str());

    const RunResult Enc = Run({ORVANE_BIN, "e"}, Archive, Container);
    const double ContainerBytes = static_cast<double>(std::filesystem::file_size(Container));
    std::printf("orvane e, archive                %s (container %.0f MiB)\n", Figures(Enc, ArchiveBytes).c_str(),
                ContainerBytes / MiB);
    // What encode may hold: the window, one block's stream contents, and one
    // scratch buffer per worker.
    double BlockContents = 0;
    for (uint64_t Block = 0; Block * 0x2000000 < ArchiveBytes; ++Block) {
      double Sum = 0;
      for (const auto& S : Streams)
        if (S.offset / 0x2000000 == Block) Sum += S.plain;
      BlockContents = std::max(BlockContents, Sum);
    }
    // The contents buffer grows by a quarter at a time, so it may hold up to
    // 1.25 x the largest block's contents.
    std::printf("  memory bound of encode: window 64 MiB + contents buffer 1.25 x %.0f MiB + %d x %.0f MiB = %.0f MiB\n",
                BlockContents / MiB, Cores, 2.0 * Largest / MiB,
                64 + 1.25 * BlockContents / MiB + Cores * 2.0 * Largest / MiB);

    const RunResult Dec = Run({ORVANE_BIN, "d"}, Container, "", true);
    std::printf("orvane d, container              %s (%.1f MB/s of output)\n", Figures(Dec, ContainerBytes).c_str(),
                ArchiveBytes / 1e6 / Dec.seconds);
    if (Dec.bytesOut != static_cast<uint64_t>(ArchiveBytes) || Dec.crc != FileCrc(Archive))
      throw std::runtime_error("decode did not give the archive back");

    const RunResult EncPlain = Run({ORVANE_BIN, "e"}, Plain);
    std::printf("cat through a pipe, stream-free  %s\n", Figures(CatPlain, ArchiveBytes).c_str());
    std::printf("orvane e, stream-free input      %s\n", Figures(EncPlain, ArchiveBytes).c_str());

    // The codec's own speed on the same contents at the same levels, one thread.
    std::ifstream In(Archive, std::ios::binary);
    std::vector<uint8_t> Packed, Raw(Largest), Out(2 * static_cast<size_t>(Largest) + 65536);
    double CodecSeconds = 0;
    for (const auto& S : Streams) {
      Packed.resize(S.packed);
      In.seekg(static_cast<std::streamoff>(S.offset));
      In.read(reinterpret_cast<char*>(Packed.data()), S.packed);
      if (OodleDLL::OodleDecompress(Packed.data(), static_cast<int32_t>(S.packed), Raw.data(),
                                    static_cast<int32_t>(S.plain)) <= 0)
        throw std::runtime_error("stand-in could not decode a stream of the archive");
      const double Start = Now();
      OodleDLL::OodleCompress(Raw.data(), static_cast<int32_t>(S.plain), Out.data(), S.level);
      CodecSeconds += Now() - Start;
    }
    const double CodecRate = ContentBytes / 1e6 / CodecSeconds;
    const double DecodeRate = ContentBytes / 1e6 / Dec.seconds;
    std::printf("stand-in compress, one thread    %8.1f MB/s of contents\n", CodecRate);
    std::printf("decode vs stand-in: %.1f MB/s of contents = %.2f x the one-thread codec (target >= 0.8 x %d = %.2f)\n",
                DecodeRate, DecodeRate / CodecRate, Cores, 0.8 * Cores);
    std::printf("stream-free encode vs cat: %.2f (target >= 0.50)\n", CatPlain.seconds / EncPlain.seconds);
    // Both directions counted in bytes of the archive, so the ratio is simply
    // decode's time over encode's.
    std::printf("encode vs decode: %.1f / %.1f MB/s of archive = %.2f (target >= 0.60)\n",
                ArchiveBytes / 1e6 / Enc.seconds, ArchiveBytes / 1e6 / Dec.seconds, Dec.seconds / Enc.seconds);
    if (!Baseline.empty()) CompareWithBaseline(Baseline, Runs, Archive, Container, ArchiveBytes);
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "bench-orvane: %s\n", Error.what());
    return 1;
  }
  return 0;
}
