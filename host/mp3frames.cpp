// mp3frames IN [OUT]: reads IN frame by frame, hands every frame, ancillary bit run and
// literal byte to a writer exactly as the decoder does, writes the result to OUT (default:
// a temporary file) and compares it with IN. Exit code 0 only when the copy is identical.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bitstream/frame_rewrite.h"
#include "bitstream/huffman_tables.h"
#include "mp3frames_os.h"

namespace {

bool SameContents(FILE* a, FILE* b) {
  std::rewind(a);
  std::rewind(b);
  static char bufferA[1 << 16], bufferB[1 << 16];
  for (;;) {
    const size_t na = std::fread(bufferA, 1, sizeof bufferA, a);
    const size_t nb = std::fread(bufferB, 1, sizeof bufferB, b);
    if (na != nb || std::memcmp(bufferA, bufferB, na) != 0) return false;
    if (na == 0) return !std::ferror(a) && !std::ferror(b);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: mp3frames IN [OUT]\n");
    return 2;
  }
  const char* inPath = argv[1];
  FILE* in = std::fopen(inPath, "rb");
  if (!in) {
    std::fprintf(stderr, "mp3frames: cannot open %s\n", inPath);
    return 2;
  }
  std::string outPath;
  FILE* out = nullptr;
  bool temporary = false;
  if (argc == 3) {
    outPath = argv[2];
    // Opening the output truncates it, so writing onto the input would lose the input and
    // then compare an empty file with itself.
    if (IsSameFile(in, outPath.c_str())) {
      std::fprintf(stderr, "mp3frames: %s is the input file\n", outPath.c_str());
      std::fclose(in);
      return 2;
    }
    out = std::fopen(outPath.c_str(), "w+b");
  } else {
    out = CreateTemporary(outPath);
    temporary = true;
  }
  if (!out) {
    std::fprintf(stderr, "mp3frames: cannot create %s\n", outPath.c_str());
    std::fclose(in);
    return 2;
  }

  BuildCodeTables();
  FrameCounts counts;
  const bool written = RewriteFrames(in, out, counts);
  ReleaseCodeTables();
  std::fseek(in, 0, SEEK_END);
  const long bytes = std::ftell(in);
  const bool identical = written && SameContents(in, out);
  std::fclose(in);
  const bool closed = std::fclose(out) == 0;
  if (temporary) std::remove(outPath.c_str());
  if (!written || !closed) {
    std::fprintf(stderr, "mp3frames: cannot write %s\n", outPath.c_str());
    return 2;
  }
  std::printf("%s: frames=%ld parsed=%ld raw=%ld literal=%ld bytes=%ld identical=%s\n", inPath,
              counts.frames, counts.parsed, counts.raw, counts.literal, bytes,
              identical ? "yes" : "no");
  return identical ? 0 : 1;
}
