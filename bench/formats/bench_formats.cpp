// bench-formats [--clips DIR] [--music DIR] [--runs N] [--seconds S]: format 1 against format 2,
// side by side, kind by kind. The kinds are bench-model's generated and music-like clips (S
// seconds of audio each, default 30, encoded with lame; --clips DIR keeps them there and takes
// them from there when present, the same file names as bench-model's) and every *.mp3 of the
// real-music set (--music DIR, default build/real-music beside this program's bin/, made by
// bench/real-music/make-set.sh), one row per file. Each group ends with a total row.
//
// How to read a row:
// - saved %: 100 - 100 × compressed size / MP3 size, where the compressed size is that of the
//   file libsumbrel.so (loaded from beside this program) writes through GetModuleOfFormat(0,
//   format): header, escape bits, literal bytes and all, or the stored form where the library
//   chose it. The library restores that file again, and it must give back the MP3 file.
//   "2-1" is format 2's saved % less format 1's, in points: positive when format 2 is smaller.
// - encode, decode MB/s: megabytes of MP3 per second of thread CPU time on this one thread, the
//   model alone coding into memory as bench-model does (literal bytes are kept beside the coded
//   bits); best of --runs (default 3), with the two formats taking turns run by run so that
//   the machine's drift hits both alike. "2/1" is format 2's speed over format 1's.
// - job MiB: the memory a job's model holds, counted from object sizes: the model object, the
//   spectral sub-models the file made, and format 2's mixing contexts (not resident memory).
// A total row sums the sizes for saved %, divides the summed MB by the summed best times for
// the speeds, and takes the largest job.
//
// Then, per group and format, where the coded bits go: bench-formats-costs (built beside this
// program from a second copy of the model compiled with SUMBREL_DECISION_COSTS, so the timed
// copy here pays nothing for the accounting) encodes the same files once more and prints each
// class's share of the coded bits and its bits per decision.
//
// Every decoded file, in memory or through the library, must equal its MP3 file byte for byte:
// a row that does not is marked NOT EXACT, named on standard error, and the exit code is 1
// (2 for wrong use, a missing lame or a missing library).
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bitstream/huffman_tables.h"
#include "model/coefficient_coder.h"
#include "model/mp3_model.h"
#include "model_bench.h"
#include "module/sumbrel.h"

namespace {

using namespace model_bench;
namespace fs = std::filesystem;

constexpr int kFormats = 2;

// Removes the scratch folder however main returns.
struct Scratch {
  std::string dir;
  ~Scratch() {
    if (!dir.empty()) {
      std::error_code ignored;
      fs::remove_all(dir, ignored);
    }
  }
};

struct Item {
  std::string label;  // the row's name
  std::string path;   // the MP3 file
};

struct Group {
  std::string total;  // the label of its total row
  std::vector<Item> items;
};

// One row's figures; a total row holds the sums (and the largest memory).
struct Figures {
  int64_t mp3Bytes = 0;
  int64_t fileBytes[kFormats] = {};
  double encodeSeconds[kFormats] = {}, decodeSeconds[kFormats] = {};
  size_t memory[kFormats] = {};
  bool exact = true;

  void Add(const Figures& row) {
    mp3Bytes += row.mp3Bytes;
    for (int f = 0; f < kFormats; ++f) {
      fileBytes[f] += row.fileBytes[f];
      encodeSeconds[f] += row.encodeSeconds[f];
      decodeSeconds[f] += row.decodeSeconds[f];
      memory[f] = std::max(memory[f], row.memory[f]);
    }
    exact &= row.exact;
  }
};

// The model's memory for a job, as it stands once the file is coded.
size_t JobMemory(const MP3Model& model) {
  size_t bytes = sizeof(MP3Model);
  for (const auto& subModel : model.subModels)
    if (subModel) bytes += sizeof(SpectralSubModel);
  if (model.mixingContexts) bytes += sizeof(MixingContexts);
  return bytes;
}

void Start(MP3Model& model, int format) { model.StartStream(0, 0, format); }

// Compresses `mp3` with the library's module of one format, restores the result and compares
// it. The compressed size, or -1 after telling on standard error which step failed.
int64_t LibraryRoundTrip(Module& module, int format, const std::string& mp3, const std::vector<uint8_t>& original,
                         const std::string& scratch) {
  const std::string packed = scratch + "/packed.sbk", restored = scratch + "/restored.mp3";
  std::error_code ignored;
  fs::remove(packed, ignored);
  fs::remove(restored, ignored);
  const char* failure = nullptr;
  std::error_code error;
  uintmax_t size = 0;
  if (module.ProcessFile(mp3.c_str(), packed.c_str(), 0) != 0)
    failure = "the library cannot compress it";
  else if (size = fs::file_size(packed, error), error)
    failure = "the library wrote no file";
  else if (module.ProcessFile(packed.c_str(), restored.c_str(), 1) != 0)
    failure = "the library cannot restore its file";
  else if (ReadAll(restored) != original)
    failure = "the library's restored file differs from it";
  if (!failure) return int64_t(size);
  std::fprintf(stderr, "bench-formats: %s, format %d: %s\n", mp3.c_str(), format, failure);
  return -1;
}

// Everything of one row but the printing. Failures are told on standard error as they happen.
Figures Measure(const Item& item, Module* const modules[kFormats], int runs, const std::string& scratch) {
  Figures row;
  const std::vector<uint8_t> original = ReadAll(item.path);
  row.mp3Bytes = int64_t(original.size());
  if (original.empty()) {
    std::fprintf(stderr, "bench-formats: cannot read %s\n", item.path.c_str());
    row.exact = false;
    return row;
  }
  for (int f = 0; f < kFormats; ++f) {
    row.fileBytes[f] = LibraryRoundTrip(*modules[f], f + 1, item.path, original, scratch);
    if (row.fileBytes[f] < 0) {
      row.exact = false;
      row.fileBytes[f] = row.mp3Bytes;  // counts as saving nothing in the totals
    }
  }

  for (int f = 0; f < kFormats; ++f) row.encodeSeconds[f] = row.decodeSeconds[f] = 1e30;
  for (int run = 0; run < runs; ++run) {
    for (int turn = 0; turn < kFormats; ++turn) {
      const int f = run % 2 == 0 ? turn : kFormats - 1 - turn;  // neither always goes first
      const int format = f + 1;
      FILE* in = std::fopen(item.path.c_str(), "rb");
      FILE* out = std::tmpfile();
      if (!in || !out) {
        std::fprintf(stderr, "bench-formats: cannot open %s or a temporary file\n", item.path.c_str());
        if (in) std::fclose(in);
        if (out) std::fclose(out);
        row.exact = false;
        return row;
      }
      Steps steps;
      int32_t length = 0;
      double start = ThreadCpu();
      MemoryStream coded = EncodeFile(
          in, steps, length, [format](MP3Model& model) { Start(model, format); },
          [&row, f](const MP3Model& model) { row.memory[f] = JobMemory(model); });
      row.encodeSeconds[f] = std::min(row.encodeSeconds[f], ThreadCpu() - start);
      start = ThreadCpu();
      DecodeFile(coded, steps, length, out, [format](MP3Model& model) { Start(model, format); });
      row.decodeSeconds[f] = std::min(row.decodeSeconds[f], ThreadCpu() - start);
      if (!SameBytes(out, original)) {
        std::fprintf(stderr, "bench-formats: %s: format %d's model does not decode it exactly (run %d)\n",
                     item.path.c_str(), format, run + 1);
        row.exact = false;
      }
      std::fclose(in);
      std::fclose(out);
    }
  }
  return row;
}

constexpr int kLabelWidth = 40;

void PrintHeader() {
  std::printf("%-*s %6s  %-20s  %-19s  %-19s  %s\n", kLabelWidth, "", "", "saved % (library)",
              "encode MB/s (model)", "decode MB/s (model)", "job MiB");
  std::printf("%-*s %6s  %6s %6s %6s  %6s %6s %5s  %6s %6s %5s  %5s %5s\n", kLabelWidth, "kind", "MB", "fmt 1",
              "fmt 2", "2-1", "fmt 1", "fmt 2", "2/1", "fmt 1", "fmt 2", "2/1", "fmt 1", "fmt 2");
}

void PrintRow(const std::string& label, const Figures& row) {
  const double mb = double(row.mp3Bytes) / 1e6;
  double saved[kFormats], encode[kFormats], decode[kFormats];
  for (int f = 0; f < kFormats; ++f) {
    saved[f] = row.mp3Bytes > 0 ? 100.0 - 100.0 * double(row.fileBytes[f]) / double(row.mp3Bytes) : 0;
    encode[f] = row.encodeSeconds[f] > 0 && row.encodeSeconds[f] < 1e30 ? mb / row.encodeSeconds[f] : 0;
    decode[f] = row.decodeSeconds[f] > 0 && row.decodeSeconds[f] < 1e30 ? mb / row.decodeSeconds[f] : 0;
  }
  const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
  std::printf("%-*.*s %6.2f  %6.2f %6.2f %+6.2f  %6.2f %6.2f %5.2f  %6.2f %6.2f %5.2f  %5.2f %5.2f%s\n",
              kLabelWidth, kLabelWidth, label.c_str(), mb, saved[0], saved[1], saved[1] - saved[0], encode[0],
              encode[1], ratio(encode[1], encode[0]), decode[0], decode[1], ratio(decode[1], decode[0]),
              double(row.memory[0]) / 1048576.0, double(row.memory[1]) / 1048576.0,
              row.exact ? "" : "  NOT EXACT");
  std::fflush(stdout);
}

// The real-music files in name order; empty when the folder is missing or holds none.
std::vector<Item> RealMusic(const std::string& dir) {
  std::vector<Item> items;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
    if (it->is_regular_file() && it->path().extension() == ".mp3")
      items.push_back({it->path().stem().string(), it->path().string()});
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.path < b.path; });
  return items;
}

// Runs bench-formats-costs on the groups' files; its tables go to this program's output.
bool RunCosts(const std::string& program, const std::vector<Group>& groups) {
  std::vector<std::string> args = {program};
  for (const Group& group : groups) {
    if (group.items.empty()) continue;
    args.push_back("--group");
    args.push_back(group.total);
    for (const Item& item : group.items) args.push_back(item.path);
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    execv(program.c_str(), argv.data());
    std::fprintf(stderr, "bench-formats: cannot run %s\n", program.c_str());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool ParseNumber(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0';
}

int Usage() {
  std::fprintf(stderr, "usage: bench-formats [--clips DIR] [--music DIR] [--runs N] [--seconds S]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::error_code error;
  const fs::path bin = fs::read_symlink("/proc/self/exe", error).parent_path();
  if (error) {
    std::fprintf(stderr, "bench-formats: cannot find this program's folder\n");
    return 2;
  }
  std::string clipsDir, musicDir = (bin.parent_path() / "real-music").string();
  double seconds = 30, runsNumber = 3;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    const char* value = argv[++i];
    if (arg == "--clips")
      clipsDir = value;
    else if (arg == "--music")
      musicDir = value;
    else if (arg == "--runs" ? !ParseNumber(value, runsNumber)
             : arg == "--seconds" ? !ParseNumber(value, seconds)
                                  : true)
      return Usage();
  }
  const int runs = int(runsNumber);
  if (runs < 1 || runs != runsNumber || runs > 1000 || !(seconds > 0) || seconds > 3600) return Usage();

  // The library's own copy of the model writes the files whose sizes are reported; its symbols
  // stay inside it, apart from this program's copy.
  const std::string libraryPath = (bin / "libsumbrel.so").string();
  void* library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  const auto getModule =
      library ? reinterpret_cast<GetModuleOfFormatFunction>(dlsym(library, "GetModuleOfFormat")) : nullptr;
  if (!getModule) {
    std::fprintf(stderr, "bench-formats: cannot load GetModuleOfFormat from %s\n", libraryPath.c_str());
    return 2;
  }
  ModulePtr modules[kFormats] = {ModulePtr(getModule(0, 1)), ModulePtr(getModule(0, 2))};
  if (!modules[0] || !modules[1]) {
    std::fprintf(stderr, "bench-formats: the library made no module\n");
    return 2;
  }
  Module* const moduleOf[kFormats] = {modules[0].get(), modules[1].get()};

  Scratch scratch;
  char scratchName[] = "/tmp/bench-formats-XXXXXX";
  if (!mkdtemp(scratchName)) {
    std::fprintf(stderr, "bench-formats: cannot make a temporary folder\n");
    return 2;
  }
  scratch.dir = scratchName;
  if (!clipsDir.empty() && (fs::create_directories(clipsDir, error), error)) {
    std::fprintf(stderr, "bench-formats: cannot make %s\n", clipsDir.c_str());
    return 2;
  }

  std::vector<Group> groups = {{"generated total", {}}, {"music-like total", {}}, {"real-music total", {}}};
  uint32_t seed = 1;  // as bench-model: 1 + the kind's index
  for (const ClipKind& kind : kClipKinds) {
    const std::string mp3 = (clipsDir.empty() ? scratch.dir : clipsDir) + "/" + kind.file + ".mp3";
    const uint32_t clipSeed = seed++;
    if ((clipsDir.empty() || !fs::exists(mp3)) && !MakeClip(kind, seconds, clipSeed, scratch.dir + "/clip.wav", mp3)) {
      std::fprintf(stderr, "bench-formats: lame failed (is it installed?)\n");
      return 2;
    }
    groups[kind.music ? 1 : 0].items.push_back({kind.name, mp3});
  }
  fs::remove(scratch.dir + "/clip.wav", error);
  groups[2].items = RealMusic(musicDir);

  std::printf("format 1 against format 2: best of %d run%s, one thread; saved %% from the files libsumbrel.so "
              "writes, speeds of the model alone in memory, job memory from object sizes\n",
              runs, runs == 1 ? "" : "s");
  if (groups[2].items.empty())
    std::printf("no real-music set in %s: make it with bench/real-music/make-set.sh (see "
                "bench/real-music/README.md), or name another folder with --music; going on without it\n",
                musicDir.c_str());
  PrintHeader();
  bool allExact = true;
  for (const Group& group : groups) {
    if (group.items.empty()) continue;
    Figures total;
    for (const Item& item : group.items) {
      const Figures row = Measure(item, moduleOf, runs, scratch.dir);
      PrintRow(item.label, row);
      total.Add(row);
    }
    PrintRow(group.total, total);
    allExact &= total.exact;
  }
  ReleaseCodeTables();
  for (ModulePtr& module : modules) module.reset();

  std::printf("\n");
  const bool costs = RunCosts((bin / "bench-formats-costs").string(), groups);
  if (!costs) std::fprintf(stderr, "bench-formats: bench-formats-costs failed\n");
  if (!allExact) std::fprintf(stderr, "bench-formats: FAILED: some files did not come back exactly (see above)\n");
  return allExact && costs ? 0 : 1;
}
