// The restore path on any bytes, in memory: whatever a damaged or made-up compressed file
// holds, restoring it never faults, never decodes frames past the recorded length, and a file
// that restores whole stops restoring once any part of its coded stream is cut away.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "fuzz_check.h"
#include "memory_restore.h"

using namespace fuzz_restore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 16 || WordAt(Data) != MODEL_MAGIC) return 0;  // the module tells these apart
  const Bytes Packed = Bounded(Data, Size);
  const Restored Whole = RestoreInMemory(Packed.data(), Packed.size());
  if (!Whole.started) {
    FUZZ_CHECK(int32_t(WordAt(&Packed[4])) < 0, "a whole header was refused");
    return 0;
  }
  FUZZ_CHECK(Whole.framesPastEnd == 0, "frames decoded after the output was complete");
  if (!Whole.whole) return 0;
  FUZZ_CHECK(Whole.codedEnd >= 16 + 5 && Whole.codedEnd <= Size, "the coded stream ends outside the file");
  // Frames and literal bytes stop at the recorded length, so the output is that length at most
  // (frames laid out afresh have no such limit), and trailing bytes are appended unchanged.
  const size_t Trailing = Size - Whole.codedEnd;
  if ((Packed[12] & 1) == 0)
    FUZZ_CHECK(Whole.output.size() <= size_t(int32_t(WordAt(&Packed[4]))) + Trailing,
               "the output is longer than the recorded length and the trailing bytes");
  FUZZ_CHECK(Whole.output.size() >= Trailing &&
                 std::equal(Packed.end() - Trailing, Packed.end(), Whole.output.end() - Trailing),
             "the trailing bytes were not appended unchanged");
  CheckCutsFail(Packed.data(), Whole.codedEnd, ChoiceFrom(Data, Size));
  return 0;
}
