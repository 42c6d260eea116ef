// A plug-in that writes correct stored files but restores them with the last byte changed, so
// that only the command's own checks can notice.
#include <cstdio>
#include <string>

#include "sumbrel.h"

namespace {

class FaultyModule final : public Module {
 public:
  explicit FaultyModule(ProgressListener* listener) : listener_(listener) {}

  void* Destroy(unsigned flags) override {
    this->~FaultyModule();
    if (flags & 1) ::operator delete(this);
    return this;
  }

  int ProcessFile(const char* input, const char* output, int decode) override {
    FILE* in = std::fopen(input, "rb");
    if (!in) return 1;
    std::string bytes;
    for (int c; (c = std::getc(in)) != EOF;) bytes += char(c);
    std::fclose(in);
    std::string written;
    if (decode) {
      for (size_t i = 4; i < bytes.size(); ++i) written += char(~bytes[i]);
      if (!written.empty()) written.back() ^= 1;
    } else {
      written = "\x05\x04\x05";
      written += '\0';
      for (char c : bytes) written += char(~c);
    }
    FILE* out = std::fopen(output, "wb");
    if (!out) return 1;
    const bool ok = std::fwrite(written.data(), 1, written.size(), out) == written.size();
    if (std::fclose(out) != 0 || !ok) return 1;
    if (listener_) listener_->OnProgress(0, 0, 0);
    return 0;
  }
  void SetCancel(int) override {}
  int GetCancel() override { return 0; }
  double GetSavedPercent(const char*) override { return 0; }
  int GetSavedBytes(const char*) override { return 0; }
  int IsSupported(const char*) override { return 1; }

 private:
  ProgressListener* listener_;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) Module* GetModule(intptr_t listener) {
  return new FaultyModule(reinterpret_cast<ProgressListener*>(listener));
}
