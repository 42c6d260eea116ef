// Class MP3 over any bytes: ReadFrame and ReadFlush take the input apart into
// frames, ancillary bits and literal bytes, and the writer must rebuild exactly
// the bytes that were read, whatever they were.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bitstream/frame_rewrite.h"
#include "bitstream/huffman_tables.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size == 0) return 0;  // fmemopen takes no empty buffer
  std::vector<uint8_t> Bytes(Data, Data + Size);
  FILE* In = fmemopen(Bytes.data(), Size, "rb");
  char* Written = nullptr;
  size_t WrittenSize = 0;
  FILE* Out = open_memstream(&Written, &WrittenSize);
  FUZZ_CHECK(In && Out, "no memory stream");

  BuildCodeTables();  // once: the tables are kept for the whole run
  FrameCounts Counts;
  const bool Ok = RewriteFrames(In, Out, Counts);
  std::fclose(In);
  std::fclose(Out);

  FUZZ_CHECK(Ok, "the rewrite failed");
  FUZZ_CHECK(Counts.frames == Counts.parsed + Counts.raw, "frame counts do not add up");
  FUZZ_CHECK(WrittenSize == Size && std::memcmp(Written, Data, Size) == 0,
             "the rebuilt bytes differ from the input");
  std::free(Written);
  return 0;
}
