// Runs the frame reader and writer over bytes in memory.
#pragma once
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bitstream/frame_rewrite.h"
#include "bitstream/mp3.h"

namespace bitstream_test {

using Bytes = std::vector<uint8_t>;

struct RoundTripResult {
  Bytes output;
  long frames = 0, parsed = 0, raw = 0, literal = 0;
};

inline FILE* FileWith(const Bytes& bytes) {
  FILE* f = std::tmpfile();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  return f;
}

inline Bytes ContentsOf(FILE* f) {
  Bytes bytes;
  std::rewind(f);
  for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(uint8_t(c));
  return bytes;
}

inline Bytes ReadFile(const std::string& path) {
  Bytes bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    bytes = ContentsOf(f);
    std::fclose(f);
  }
  return bytes;
}

// Code tables must be built by the caller.
inline RoundTripResult RoundTrip(const Bytes& input) {
  RoundTripResult result;
  FILE* in = FileWith(input);
  FILE* out = std::tmpfile();
  FrameCounts counts;
  RewriteFrames(in, out, counts);
  result.frames = counts.frames;
  result.parsed = counts.parsed;
  result.raw = counts.raw;
  result.literal = counts.literal;
  result.output = ContentsOf(out);
  std::fclose(in);
  std::fclose(out);
  return result;
}

}  // namespace bitstream_test
