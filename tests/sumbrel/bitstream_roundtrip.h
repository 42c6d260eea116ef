// Drives the frame reader and writer the way the decoder does, in memory.
#pragma once
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

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

inline void CopyAncillary(const MP3& from, MP3& to) {
  to.ancillaryBits = from.ancillaryBits;
  if (from.ancillaryBits > 0)
    std::memcpy(to.ancillaryBuffer, from.ancillaryBuffer, size_t(from.ancillaryBits + 7) / 8);
}

inline void CopyRecord(const MP3& from, MP3& to) {
  const size_t begin = offsetof(MP3, header);
  const size_t end = offsetof(MP3, crc_computed) + sizeof(MP3::crc_computed);
  std::memcpy(reinterpret_cast<char*>(&to) + begin, reinterpret_cast<const char*>(&from) + begin,
              end - begin);
}

// Code tables must be built by the caller.
inline RoundTripResult RoundTrip(const Bytes& input) {
  RoundTripResult result;
  FILE* in = FileWith(input);
  FILE* out = std::tmpfile();
  auto reader = std::make_unique<MP3>();
  auto writer = std::make_unique<MP3>();
  reader->Input(in);
  writer->stream_end = reader->stream_end;
  writer->Output(out);
  for (;;) {
    const int status = reader->ReadFrame();
    if (status == 0) {
      ++result.frames;
      ++(reader->raw_main_data ? result.raw : result.parsed);
      CopyRecord(*reader, *writer);
      CopyAncillary(*reader, *writer);
      reader->ancillaryBits = -1;
      writer->WriteFrame();
      writer->ancillaryBits = -1;
      continue;
    }
    reader->ReadFlush();
    CopyAncillary(*reader, *writer);
    reader->ancillaryBits = -1;
    writer->WriteFlush();
    writer->ancillaryBits = -1;
    if (status == 1) break;
    ++result.literal;
    if (writer->out_remaining != 0) {
      std::fputc(status + 256, out);
      --writer->out_remaining;
    }
  }
  std::fflush(out);
  result.output = ContentsOf(out);
  std::fclose(in);
  std::fclose(out);
  return result;
}

}  // namespace bitstream_test
