#include "bitstream/frame_rewrite.h"

#include <cstddef>
#include <cstring>
#include <memory>

#include "bitstream/mp3.h"

namespace {

void HandOverAncillary(const MP3& from, MP3& to) {
  to.ancillaryBits = from.ancillaryBits;
  if (from.ancillaryBits > 0)
    std::memcpy(to.ancillaryBuffer, from.ancillaryBuffer, size_t(from.ancillaryBits + 7) / 8);
}

// Everything a model would carry from the reader to the writer: the frame
// record and the ancillary bits of the frame before it.
void HandOverFrame(const MP3& from, MP3& to) {
  const size_t begin = offsetof(MP3, header);
  const size_t end = offsetof(MP3, crc_computed) + sizeof(MP3::crc_computed);
  std::memcpy(reinterpret_cast<char*>(&to) + begin, reinterpret_cast<const char*>(&from) + begin,
              end - begin);
  HandOverAncillary(from, to);
}

}  // namespace

bool RewriteFrames(FILE* in, FILE* out, FrameCounts& counts) {
  auto reader = std::make_unique<MP3>();
  auto writer = std::make_unique<MP3>();
  reader->Input(in);
  writer->stream_end = reader->stream_end;
  writer->Output(out);
  for (;;) {
    const int status = reader->ReadFrame();
    if (status == 0) {
      ++counts.frames;
      ++(reader->raw_main_data ? counts.raw : counts.parsed);
      HandOverFrame(*reader, *writer);
      reader->ancillaryBits = -1;
      writer->WriteFrame();
      writer->ancillaryBits = -1;
      continue;
    }
    // A break in the frames: the last frame's tail goes out with every queued
    // frame before any literal byte, so the bytes leave in file order.
    reader->ReadFlush();
    HandOverAncillary(*reader, *writer);
    reader->ancillaryBits = -1;
    writer->WriteFlush();
    writer->ancillaryBits = -1;
    if (status == 1) break;
    ++counts.literal;
    if (!writer->WriteLiteral(status + 256)) return false;
  }
  return std::fflush(out) == 0 && !std::ferror(out);
}
