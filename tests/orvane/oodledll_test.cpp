// Loading the codec library from a directory.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "OodleDLL.h"
#include "OodleDetect.h"
#include "test_data.h"

namespace {

namespace fs = std::filesystem;

struct TempDir {
  fs::path Path;
  TempDir() {
    char Template[] = "/tmp/orvane-dll-XXXXXX";
    Path = mkdtemp(Template);
  }
  ~TempDir() { fs::remove_all(Path); }
  std::string Dir() const { return Path.string() + "/"; }
};

std::string LibraryFileOf(const void* Symbol) {
  Dl_info Info{};
  return dladdr(Symbol, &Info) ? Info.dli_fname : "";
}

TEST(OodleDLL, LoadsFromTheProgramDirectoryAtStartUp) {
  EXPECT_TRUE(OodleDLL::DLLLoaded);
  ASSERT_NE(OodleDLL::OodleLZ_Compress, nullptr);
  ASSERT_NE(OodleDLL::OodleLZ_Decompress, nullptr);
  EXPECT_EQ(LibraryFileOf(reinterpret_cast<void*>(OodleDLL::OodleLZ_Compress)),
            OodleDLL::ProgramDirectory() + "oo2core_7_linux64.so");
}

TEST(OodleDLL, WithoutTheLibraryEveryCallFails) {
  TempDir Empty;
  OodleDLL::Deinit();
  OodleDLL::LoadFrom(Empty.Dir());
  EXPECT_FALSE(OodleDLL::DLLLoaded);
  EXPECT_EQ(OodleDLL::OodleLZ_Compress, nullptr);
  Bytes Raw(100, 1), Out(300);
  EXPECT_THROW(OodleDLL::OodleCompress(Raw.data(), 100, Out.data(), 4), OodleDLL::EOodleMissing);
  EXPECT_THROW(OodleDLL::OodleDecompress(Raw.data(), 100, Out.data(), 100), OodleDLL::EOodleMissing);
  EXPECT_THROW(GetOodleUS(Raw.data(), 100, Out.data(), 150), OodleDLL::EOodleMissing);
  OodleDLL::Init();
  EXPECT_TRUE(OodleDLL::DLLLoaded);
  EXPECT_EQ(Compress(Raw, 4).at(0), 0x8C);
}

TEST(OodleDLL, PrefersOlderVersionsThatExist) {
  TempDir Dir;
  fs::copy_file(OodleDLL::ProgramDirectory() + "oo2core_7_linux64.so", Dir.Path / "oo2core_5_linux64.so");
  OodleDLL::Deinit();
  OodleDLL::LoadFrom(Dir.Dir());
  ASSERT_TRUE(OodleDLL::DLLLoaded);
  EXPECT_EQ(LibraryFileOf(reinterpret_cast<void*>(OodleDLL::OodleLZ_Decompress)),
            Dir.Dir() + "oo2core_5_linux64.so");
  OodleDLL::Deinit();

  // A file that exists is taken even when it cannot be loaded.
  std::ofstream(Dir.Path / "oo2core_4_linux64.so") << "not a library";
  OodleDLL::LoadFrom(Dir.Dir());
  EXPECT_FALSE(OodleDLL::DLLLoaded);
  OodleDLL::Init();
  EXPECT_TRUE(OodleDLL::DLLLoaded);
}

}  // namespace
