// The writing half of MP3: rebuilds the frames from the record. Each frame's header and
// side information wait in the ring while its main data sits in one continuous stream in
// out_buffer, where later frames may still write into it through the bit reservoir.
#include <algorithm>
#include <cstring>

#include "bitstream/mp3_bits.h"
#include "crc32.h"

void MP3::Output(FILE* file) {
  frames_written = 0;
  out_file = file;
  out_remaining = stream_end;
  out_crc = 0;
  std::memset(out_buffer, 0, sizeof out_buffer);
  out_bitpos = 31744 * 8;
  out_next_byte = 31743;
  std::memset(frame_ring, 0, sizeof frame_ring);
  freeBits = -1;
  ring_head = ring_tail = 0;
  BuildLsfTables();
  out_reset = 1;
  reading = 0;
}

// A negative limit (set when frames are re-laid out) never stops the output.
void MP3::SendBytes(const uint8_t* bytes, int count) {
  if (out_remaining == 0) return;
  if (out_remaining > 0) count = std::min(count, out_remaining);
  out_crc = Crc32C(bytes, size_t(count), out_crc);
  if (out_file) std::fwrite(bytes, 1, size_t(count), out_file);
  out_remaining -= count;
}

void MP3::SendQueuedFrames(bool all) {
  uint8_t block[2048];
  while (ring_head != ring_tail) {
    const bool ringFull = ((ring_tail + 1) & 511) == ring_head;
    const bool manyWaiting = out_next_byte + 1 > out_bitpos / 8 + 8192;
    if (!all && !ringFull && !manyWaiting) break;
    const FrameRingEntry& entry = frame_ring[ring_head];
    ++frames_written;
    SendBytes(entry.bytes, entry.head_count);
    // Main data lies newest-lowest in out_buffer; turn it into file order block by block.
    for (int done = 0; done < entry.main_count;) {
      const int run = std::min(entry.main_count - done, int(sizeof block));
      const uint8_t* from = out_buffer + out_next_byte - done;
      CopyReversed(block + run - 1, from - run + 1, run);
      SendBytes(block, run);
      done += run;
    }
    out_next_byte -= entry.main_count;
    ring_head = ring_head + 1;
  }
}

void MP3::WriteAncillary(int endPos) {
  int remaining = std::min(ancillaryBits, 8 * kAncillaryBytes);
  out_bitpos = endPos + remaining;
  int i = 0;
  for (; remaining >= 9; remaining -= 8) PutBits(ancillaryBuffer[i++], 8);
  PutBits(uint32_t(ancillaryBuffer[i] >> (8 - remaining)), remaining);
}

int MP3::WriteFrame() {
  reading = 0;
  const int q0 = out_bitpos;
  const int clearTop = (q0 - 8) / 8;
  const int clearFrom = std::max(clearTop - 2048, 0);
  std::memset(out_buffer + clearFrom, 0, size_t(clearTop - clearFrom + 1));

  // Lengths, big_values and region counts steer where granule data goes and which band bounds are
  // read; a damaged decoded record must not send either outside its array.
  for (auto& granule : gr_info)
    for (GrInfo& g : granule) {
      g.part2_3_length = std::clamp(g.part2_3_length, 0, 4095);
      g.big_values = std::clamp(g.big_values, 0, 288);
      g.region0_count &= 15;
      g.region1_count &= 7;
    }

  out_bitpos -= 32;
  StoreWord(out_buffer + out_bitpos / 8, header);
  const bool protectedFrame = !(header >> 16 & 1);
  if (protectedFrame) PutBits(header & 0xFFFF, 16);
  SideInformation();

  FrameRingEntry& entry = frame_ring[ring_tail];
  const int headBytes = (q0 - out_bitpos) / 8;
  for (int k = 0; k < headBytes; ++k) {
    entry.bytes[k] = out_buffer[q0 / 8 - 1 - k];
    out_buffer[q0 / 8 - 1 - k] = 0;
  }
  if (protectedFrame) {
    uint16_t crc = Crc16(0xFFFF, entry.bytes + 2, 2);
    crc = Crc16(crc, entry.bytes + 6, headBytes - 6);
    entry.bytes[4] = uint8_t(crc >> 8), entry.bytes[5] = uint8_t(crc);
  }
  entry.head_count = headBytes;
  // Only a damaged decoded header (bitrate_index 0) gives a negative size.
  const int mainCount = std::max(MainBytes(), 0);
  entry.main_count = mainCount;
  ring_tail = ring_tail + 1;

  // A parsed frame's granule data always fits its main data and starts at most 511 bytes
  // back; a decoded frame claiming more is damaged and is written without granule data so
  // it cannot reach outside the buffer.
  const bool granules = !raw_main_data && reservoir_bytes >= 0 && reservoir_bytes <= 511 &&
                        part23_total <= 8 * (mainCount + reservoir_bytes);
  if (granules) {
    const int start = q0 + 8 * reservoir_bytes;
    if (ancillaryBits > 0) WriteAncillary(start);
    out_bitpos = start;
    GranuleData();
  } else if (ancillaryBits > 0) {
    WriteAncillary(q0);
  }
  out_bitpos = q0 - 8 * mainCount;

  SendQueuedFrames(false);
  if (out_next_byte < 16384) {
    std::memcpy(out_buffer + 16384, out_buffer, 16384);
    out_bitpos += 131072;
    out_next_byte += 16384;
  }
  out_reset = 0;
  return 0;
}

void MP3::WriteFlush() {
  if (ring_head == ring_tail) return;
  if (ancillaryBits > 0) {
    const int keep = out_bitpos;
    WriteAncillary(keep);
    out_bitpos = keep;
  }
  SendQueuedFrames(true);
}
