// The plug-in as a host drives it: any bytes restored as a compressed file, and
// any bytes named .mp3 compressed and restored, which must give them back, while
// cutting the compressed file short anywhere makes it fail to restore.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "memory_restore.h"
#include "temp_files.h"
#include "module/sumbrel.h"

namespace {

using fuzz_restore::Bytes;
using fuzz_restore::WordAt;

using fuzz_files::Exists;
using fuzz_files::In;
using fuzz_files::Read;
using fuzz_files::Write;

// Counts the frames a restore decodes after its output already held the length
// the header records: only a damaged stream has such frames, and decoding them
// would write nothing.
struct FrameWatch : ProgressListener {
  int previousDone = 0;
  int framesPastEnd = 0;
  void OnProgress(int totalBytes, int doneBytes, int) override {
    if (totalBytes > 0 && previousDone >= totalBytes) ++framesPastEnd;
    previousDone = doneBytes;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static FrameWatch Watch;
  static ModulePtr Plugin(GetModule(reinterpret_cast<intptr_t>(&Watch)));
  FUZZ_CHECK(Plugin != nullptr, "no module");

  const Bytes Header = fuzz_restore::Bounded(Data, Size);
  const bool Relayout = Size >= 16 && (Data[12] & 1) != 0;
  const std::string Packed = In("any.sbk"), Restored = In("any");
  Write(Packed, Header.data(), Size);
  std::remove(Restored.c_str());
  Watch = FrameWatch();
  const int Result = Plugin->ProcessFile(Packed.c_str(), Restored.c_str(), 1);
  FUZZ_CHECK(Relayout || Watch.framesPastEnd == 0, "frames decoded after the output was complete");
  FUZZ_CHECK(Result == 0 || Result == 1, "a result other than 0 or 1");
  FUZZ_CHECK(Result == 0 || !Exists(Restored), "a failed restore left its output");
  const uint32_t Magic = Size >= 4 ? WordAt(Data) : 0;
  if (Magic != MODEL_MAGIC && Magic != STORED_MAGIC && Magic != MODEL2_MAGIC && Magic != STORED2_MAGIC)
    FUZZ_CHECK(Result == 1, "bytes without a magic word restored");
  if (Magic == STORED_MAGIC) {
    FUZZ_CHECK(Result == 0, "the stored form failed to restore");
    const Bytes Back = Read(Restored);
    bool Inverted = Back.size() == Size - 4;
    for (size_t i = 0; Inverted && i < Back.size(); ++i) Inverted = Back[i] == uint8_t(~Data[4 + i]);
    FUZZ_CHECK(Inverted, "the stored form did not restore to its inverted bytes");
  }

  // Compressing them as an MP3 file and restoring that.
  if (Size == 0) return 0;  // empty files are not compressed
  const std::string Mp3 = In("any.mp3"), Coded = In("any.mp3.sbk"), Back = In("back.mp3");
  Write(Mp3, Data, Size);
  std::remove(Coded.c_str());
  std::remove(Back.c_str());
  FUZZ_CHECK(Plugin->ProcessFile(Mp3.c_str(), Coded.c_str(), 0) == 0, "compression failed");
  Watch = FrameWatch();
  FUZZ_CHECK(Plugin->ProcessFile(Coded.c_str(), Back.c_str(), 1) == 0, "the compressed file did not restore");
  FUZZ_CHECK(Watch.framesPastEnd == 0, "a restore decoded frames after its output was complete");
  const Bytes Again = Read(Back);
  FUZZ_CHECK(Again.size() == Size && std::equal(Again.begin(), Again.end(), Data),
             "the restored file differs from the input");
  // The compressed file has no trailing bytes, so every cut of it cuts its coded stream.
  const Bytes CodedBytes = Read(Coded);
  if (CodedBytes.size() >= 16 && WordAt(CodedBytes.data()) == MODEL_MAGIC) {
    // The kept coder of the memory restores must agree with the module's fresh one.
    const fuzz_restore::Restored Whole = fuzz_restore::RestoreInMemory(CodedBytes.data(), CodedBytes.size());
    FUZZ_CHECK(Whole.whole && Whole.codedEnd == CodedBytes.size() && Whole.output == Bytes(Data, Data + Size),
               "a coder kept between jobs did not restore what the module compressed");
    fuzz_restore::CheckCutsFail(CodedBytes.data(), CodedBytes.size(), fuzz_restore::ChoiceFrom(Data, Size));
  }
  return 0;
}
