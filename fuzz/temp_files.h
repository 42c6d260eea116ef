// The temporary files of the harnesses that drive the plug-in through file names.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_check.h"

namespace fuzz_files {

using Bytes = std::vector<uint8_t>;

// A folder of this process under TMPDIR, else in memory where the system offers it.
// libFuzzer ends without exit handlers, so fuzz/run.sh points TMPDIR at a folder it removes
// itself. The name is kept in static storage: the exit handler that removes the folder (on an
// ordinary exit, the replay of kept inputs) runs after static objects may be gone.
inline const char* Folder() {
  static char Path[4096] = "";
  if (Path[0] == 0) {
    const char* Base = std::getenv("TMPDIR");
    if (Base == nullptr || *Base == 0) Base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::snprintf(Path, sizeof Path, "%s/sumbrel-fuzz-XXXXXX", Base);
    FUZZ_CHECK(mkdtemp(Path) != nullptr, "no temporary folder");
    std::atexit([] {
      std::error_code Ignored;
      std::filesystem::remove_all(Path, Ignored);
    });
  }
  return Path;
}

inline std::string In(const char* Name) { return std::string(Folder()) + "/" + Name; }

inline void Write(const std::string& Path, const uint8_t* Data, size_t Size) {
  FILE* File = std::fopen(Path.c_str(), "wb");
  FUZZ_CHECK(File != nullptr, "cannot write a temporary file");
  if (Size > 0) std::fwrite(Data, 1, Size, File);
  FUZZ_CHECK(std::fclose(File) == 0, "cannot write a temporary file");
}

inline Bytes Read(const std::string& Path) {
  Bytes Out;
  if (FILE* File = std::fopen(Path.c_str(), "rb")) {
    for (int C; (C = std::getc(File)) != EOF;) Out.push_back(uint8_t(C));
    std::fclose(File);
  }
  return Out;
}

inline bool Exists(const std::string& Path) { return access(Path.c_str(), F_OK) == 0; }

}  // namespace fuzz_files
