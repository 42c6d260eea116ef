// Files, folders and a listener for the tests that drive the module as a host would.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "module/mp3_module.h"

namespace module_test {

using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

inline Bytes ReadAll(const std::string& path) {
  Bytes bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(uint8_t(c));
    std::fclose(f);
  }
  return bytes;
}

inline void WriteAll(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

inline uint32_t WordAt(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

inline Bytes RandomBytes(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(count);
  for (auto& b : bytes) b = uint8_t(random());
  return bytes;
}

// Text without any frame, on which the model-coded form pays.
inline Bytes TextBytes(size_t count) {
  const std::string words = "the quick brown fox jumps over the lazy dog; ";
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = uint8_t(words[(i * 7 + i / 45) % words.size()]);
  return bytes;
}

// A fresh folder, removed with its contents at the end of the test.
class Folder {
 public:
  Folder() {
    char name[] = "/tmp/sumbrel-module-test-XXXXXX";
    path_ = mkdtemp(name) ? name : "";
  }
  ~Folder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }
  // What is there, so a test can see that nothing half-written was left.
  Names List() const {
    Names names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

struct ProgressCall {
  int total, done, coded;
};

// Records every progress call; `onCall` may act on the module from inside the job.
struct RecordingListener : ProgressListener {
  void OnProgress(int total, int done, int coded) override {
    calls.push_back({total, done, coded});
    if (onCall) onCall(int(calls.size()));
  }
  std::vector<ProgressCall> calls;
  std::function<void(int)> onCall;
};

inline ModulePtr MakeModule(ProgressListener* listener = nullptr) {
  return ModulePtr(GetModule(reinterpret_cast<intptr_t>(listener)));
}

}  // namespace module_test
