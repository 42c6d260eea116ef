// What a job does when it cannot or must not finish, and the questions the module answers
// about files: nothing half-written is left, and an existing output is never clobbered.
#include <dlfcn.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "data/lame_corpus.h"
#include "module_helpers.h"

using namespace module_test;

namespace {

class ModuleJobs : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string corpus = testdata::CorpusDir();
    ASSERT_FALSE(corpus.empty()) << "could not encode the test corpus with lame";
    song = ReadAll(corpus + "/m2_22_joint.mp3");
    WriteAll(folder / "song.mp3", song);
    WriteAll(folder / "keep.sbk", kept);
  }
  int Run(const std::string& in, const std::string& out, int decode = 0) {
    return module->ProcessFile(in.c_str(), out.c_str(), decode);
  }

  Folder folder;
  Bytes song;
  const Bytes kept = {'o', 'l', 'd'};  // an existing output that no failed job may touch
  RecordingListener listener;
  ModulePtr module = MakeModule(&listener);
};

TEST_F(ModuleJobs, FailuresLeaveNoFileAndKeepAnExistingOne) {
  WriteAll(folder / "short.sbk", {0x05, 0x04, 0x05, 0x01, 0xE8, 0x03, 0, 0, 0, 0});
  WriteAll(folder / "empty.mp3", {});
  WriteAll(folder / "plain.mp3", TextBytes(300));  // restoring it: neither magic
  ASSERT_EQ(link((folder / "song.mp3").c_str(), (folder / "hard.sbk").c_str()), 0);
  ASSERT_EQ(symlink("song.mp3", (folder / "soft.sbk").c_str()), 0);
  // Longer than the header's signed length word can say; sparse, so it costs no room.
  WriteAll(folder / "huge.mp3", {});
  const bool huge = truncate((folder / "huge.mp3").c_str(), off_t(1) << 31) == 0;

  for (const auto& [in, out, decode] : std::vector<std::tuple<std::string, std::string, int>>{
           {"missing.mp3", "x.sbk", 0},
           {"song.mp3", "no-such-folder/x.sbk", 0},
           {"empty.mp3", "x.sbk", 0},
           {"short.sbk", "x.mp3", 1},
           {"plain.mp3", "x.mp3", 1},
           {"song.MP3", "x.sbk", 0},
           {"song.mp3", "song.mp3", 0},
           {"song.mp3", "./song.mp3", 0},
           {"song.mp3", "hard.sbk", 0},
           {"song.mp3", "soft.sbk", 0},
           {"short.sbk", "keep.sbk", 1},
           {"empty.mp3", "keep.sbk", 0},
           {huge ? "huge.mp3" : "missing.mp3", "x.sbk", 0},
       })
    EXPECT_EQ(Run(folder / in, folder / out, decode), 1) << in << " -> " << out;
  EXPECT_EQ(module->ProcessFile(nullptr, (folder / "x.sbk").c_str(), 0), 1);
  EXPECT_EQ(module->ProcessFile((folder / "song.mp3").c_str(), nullptr, 0), 1);

  EXPECT_TRUE(listener.calls.empty());
  EXPECT_EQ(ReadAll(folder / "keep.sbk"), kept);
  EXPECT_EQ(ReadAll(folder / "song.mp3"), song);
  EXPECT_EQ(folder.List(), (Names{"empty.mp3", "hard.sbk", "huge.mp3", "keep.sbk", "plain.mp3",
                                  "short.sbk", "soft.sbk", "song.mp3"}));
}

TEST_F(ModuleJobs, CancelStopsAfterTheCurrentStep) {
  module->SetCancel(1);
  EXPECT_EQ(Run(folder / "song.mp3", folder / "keep.sbk"), 1);
  EXPECT_EQ(listener.calls.size(), 1u);
  EXPECT_EQ(module->GetCancel(), 1);  // left for the host to clear
  EXPECT_EQ(ReadAll(folder / "keep.sbk"), kept);

  module->SetCancel(0);
  listener.calls.clear();
  listener.onCall = [&](int call) {
    if (call == 3) module->SetCancel(7);
  };
  EXPECT_EQ(Run(folder / "song.mp3", folder / "new.sbk"), 1);
  EXPECT_EQ(listener.calls.size(), 3u);
  EXPECT_EQ(folder.List(), (Names{"keep.sbk", "song.mp3"}));
}

TEST_F(ModuleJobs, OnlyOneJobRunsInTheProcess) {
  auto other = MakeModule();
  int inner = -1;
  listener.onCall = [&](int call) {
    if (call == 1) inner = other->ProcessFile((folder / "song.mp3").c_str(), (folder / "inner.sbk").c_str(), 0);
  };
  ASSERT_EQ(Run(folder / "song.mp3", folder / "keep.sbk"), 0);  // replaces the old file
  EXPECT_EQ(inner, 1);
  EXPECT_EQ(folder.List(), (Names{"keep.sbk", "song.mp3"}));
  // Free again once the job has ended, and the second model starts afresh.
  EXPECT_EQ(other->ProcessFile((folder / "song.mp3").c_str(), (folder / "inner.sbk").c_str(), 0), 0);
  EXPECT_EQ(ReadAll(folder / "inner.sbk"), ReadAll(folder / "keep.sbk"));
}

TEST_F(ModuleJobs, FailedAllocationFailsTheJob) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer reserves address space beyond any limit";
#endif
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Cap the address space, then take every block earlier tests gave back, leaving a
    // little for the files but no room for the model.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    std::vector<void*> held;
    held.reserve(1 << 17);
    long pages = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm || std::fscanf(statm, "%ld", &pages) != 1) _exit(3);
    std::fclose(statm);
    const rlim_t limit = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (1 << 20);
    const rlimit rl{limit, limit};
    if (setrlimit(RLIMIT_AS, &rl) != 0) _exit(3);
    for (void* block; held.size() < held.capacity() && (block = std::malloc(64 << 10));) held.push_back(block);
    for (int i = 0; i < 8 && !held.empty(); ++i, held.pop_back()) std::free(held.back());
    const int result = Run(folder / "song.mp3", folder / "x.sbk");
    _exit(result == 1 && folder.List().size() == 2 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(ModuleJobs, IsSupportedGoesByNameAndMagic) {
  // Bare names, as a host may pass them: the rule looks at characters, not at folders.
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(folder.path().c_str()), 0);
  WriteAll("b.sbk", {0x05, 0x04, 0x05, 0x01});
  WriteAll("c.sbk", {0x05, 0x04, 0x05, 0x00, 9});
  WriteAll("d.sbk", {0x05, 0x04, 0x05});  // the missing byte reads as 0: the stored magic
  WriteAll("f.sbk", {0x05, 0x04, 0x05, 0x02});
  WriteAll("g.sbk", {0x05, 0x04, 0x05, 0x32});  // format 2
  WriteAll("h.sbk", {0x05, 0x04, 0x05, 0x53});
  for (const char* name : {"song.MP3", "a.mp3.bak", "xmp", "m", "e.wav", "a.mp3x", "xmp3", ".mp3"})
    WriteAll(name, {1});
  for (const auto& [name, expected] : std::vector<std::pair<const char*, int>>{
           {"song.mp3", 1}, {"a.mp3x", 1}, {"xmp3", 1}, {".mp3", 1}, {"b.sbk", 1}, {"c.sbk", 1},
           {"d.sbk", 1}, {"f.sbk", 0}, {"g.sbk", 1}, {"h.sbk", 1}, {"keep.sbk", 0}, {"song.MP3", 0}, {"a.mp3.bak", 0},
           {"xmp", 0}, {"m", 0}, {"e.wav", 0}, {"absent.mp3", 0}})
    EXPECT_EQ(module->IsSupported(name), expected) << name;
  ASSERT_EQ(chdir(previous), 0);
}

TEST_F(ModuleJobs, SavedPercentAndBytesReadTheHeader) {
  auto file = [&](const char* name, uint32_t magic, uint32_t length, size_t size) {
    Bytes bytes(size, 0);
    for (size_t k = 0; k < 8 && k < size; ++k) bytes[k] = uint8_t((k < 4 ? magic : length) >> (8 * (k % 4)));
    WriteAll(folder / name, bytes);
    return std::make_pair(module->GetSavedPercent((folder / name).c_str()),
                          module->GetSavedBytes((folder / name).c_str()));
  };
  using Saved = std::pair<double, int>;
  EXPECT_EQ(file("half.sbk", MODEL_MAGIC, 1000, 500), Saved(50.0, 500));
  EXPECT_EQ(file("grown.sbk", MODEL_MAGIC, 400, 500), Saved(-25.0, -100));
  EXPECT_EQ(file("zero.sbk", MODEL_MAGIC, 0, 40), Saved(-2.0, -40));
  EXPECT_EQ(file("cut.sbk", MODEL_MAGIC, 0xFFFF, 6), Saved(-2.0, 0));
  EXPECT_EQ(file("stored.sbk", STORED_MAGIC, 0, 104), Saved(-4.0, -4));
  EXPECT_EQ(file("bare.sbk", STORED_MAGIC, 0, 4), Saved(-1000.0, -4));
  EXPECT_EQ(file("plain.sbk", 0x12345678, 0, 40), Saved(0.0, 0));
  EXPECT_EQ(module->GetSavedPercent((folder / "absent").c_str()), -1000.0);
  EXPECT_EQ(module->GetSavedBytes((folder / "absent").c_str()), -1000);
}

TEST(ModuleLibrary, SharedObjectExportsOnlyTheFactory) {
  void* library = dlopen(TEST_BIN_DIR "/libsumbrel.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto getModule = reinterpret_cast<GetModuleFunction>(dlsym(library, "GetModule"));
  ASSERT_NE(getModule, nullptr);
  EXPECT_EQ(dlsym(library, "_ZN9FileCoder10EncodeStepEv"), nullptr);
  EXPECT_EQ(dlsym(library, "_Z15BuildCodeTablesv"), nullptr);

  Folder folder;
  WriteAll(folder / "a.mp3", TextBytes(5000));
  RecordingListener listener;
  ModulePtr module(getModule(reinterpret_cast<intptr_t>(&listener)));
  EXPECT_EQ(module->ProcessFile((folder / "a.mp3").c_str(), (folder / "a.sbk").c_str(), 0), 0);
  EXPECT_EQ(module->ProcessFile((folder / "a.sbk").c_str(), (folder / "b.mp3").c_str(), 1), 0);
  EXPECT_EQ(ReadAll(folder / "b.mp3"), TextBytes(5000));
  EXPECT_EQ(listener.calls.size(), 2u);  // no frames: only the final calls
  module.reset();
  dlclose(library);
}

}  // namespace
