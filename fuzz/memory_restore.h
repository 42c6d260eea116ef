// Restoring compressed bytes with the file coder on memory streams, for the plug-in
// harnesses: no files, no module, and so nothing per execution but the job itself.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "module/file_coder.h"
#include "module/sumbrel.h"

namespace fuzz_restore {

using Bytes = std::vector<uint8_t>;

inline uint32_t WordAt(const uint8_t* Data) {
  return uint32_t(Data[0]) | uint32_t(Data[1]) << 8 | uint32_t(Data[2]) << 16 | uint32_t(Data[3]) << 24;
}

// A number the input decides, for choices the fuzzer should steer.
inline uint32_t ChoiceFrom(const uint8_t* Data, size_t Size) {
  uint32_t Hash = 2166136261u;
  for (size_t i = 0; i < Size; ++i) Hash = (Hash ^ Data[i]) * 16777619u;
  return Hash;
}

// The bytes as they are, but for what bounds the work in a model-coded header: a few bytes
// can rightly decode to megabytes of silent frames, which is no fault but would make every
// such input a timeout. The original length is held to 16 KiB (negative ones stay negative);
// frames laid out afresh (option bit 0) have no length limit, so there the frame count is
// held small too.
inline Bytes Bounded(const uint8_t* Data, size_t Size) {
  Bytes Header(Data, Data + Size);
  if (Size >= 8 && WordAt(Data) == MODEL_MAGIC) {
    Header[5] &= 0x3F;
    Header[6] = 0;
    Header[7] &= 0x80;
    if (Size >= 16 && (Data[12] & 1) != 0) {
      Header[9] &= 0x01;
      Header[10] = Header[11] = 0;
    }
  }
  return Header;
}

struct Restored {
  bool started = false;   // the header was read
  bool whole = false;     // decoded to its end without reading past the input, and finished
  size_t codedEnd = 0;    // where the coded stream ended in the input, when decoded to its end
  int framesPastEnd = 0;  // frames decoded once the output held the recorded length
  Bytes output;
};

// Restores a model-coded file held in memory, as the module's restore does below the files.
inline Restored RestoreInMemory(const uint8_t* Data, size_t Size) {
  Restored Result;
  if (Size == 0) return Result;  // fmemopen takes no empty buffer
  FILE* In = fmemopen(const_cast<uint8_t*>(Data), Size, "rb");
  char* Written = nullptr;
  size_t WrittenSize = 0;
  FILE* Out = open_memstream(&Written, &WrittenSize);
  FUZZ_CHECK(In && Out, "no memory stream");
  // One coder for the process: its model's memory and the code tables stay from one job to
  // the next, which is all the work a job does that does not depend on its input.
  static FileCoder Coder;
  Coder.keepModelMemory = true;
  Result.started = Coder.StartDecode(In, Out) == 0;
  if (Result.started) {
    // Re-laid-out frames have no length limit, so only a plain stream can be held to it.
    const bool Relayout = (Data[12] & 1) != 0;
    int Status;
    do {
      std::fflush(Out);
      const bool Complete = Coder.model->stream_end > 0 && WrittenSize >= size_t(Coder.model->stream_end);
      Status = Coder.DecodeStep();
      if (Status == 1 && Complete && !Relayout) ++Result.framesPastEnd;
    } while (Status == 1);
    if (!Coder.Damaged()) {
      Result.codedEnd = size_t(std::ftell(In));
      Result.whole = Coder.FinishDecode() == 0;
    }
  }
  Coder.Release();
  std::fclose(In);
  std::fclose(Out);
  Result.output.assign(Written, Written + WrittenSize);
  std::free(Written);
  return Result;
}

// A model-coded file restores, and none of its strict prefixes does: the decoder reads exactly
// the bytes of the coded stream, so any cut in it makes the restore read past the end. Cuts
// are the last 1 to 8 bytes of the coded stream (how many taken from the input) and one at a
// position taken from the input. Bytes after the coded stream are appended to the output
// unchecked, so cuts among them are no damage and are not tried.
inline void CheckCutsFail(const uint8_t* Data, size_t CodedEnd, uint32_t Choice) {
  if (CodedEnd <= 16) return;
  const size_t Cuts[2] = {CodedEnd - 1 - std::min<size_t>(Choice % 8, CodedEnd - 17),
                          16 + (Choice >> 3) % (CodedEnd - 16)};
  for (const size_t Length : Cuts) {
    const Restored Cut = RestoreInMemory(Data, Length);
    FUZZ_CHECK(Cut.started && !Cut.whole, "a cut compressed file restored as whole");
  }
}

}  // namespace fuzz_restore
