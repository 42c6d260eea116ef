// The reading half of MP3: frames are recognised at any byte, parsed into the record, and
// everything that cannot be reproduced exactly is handed out as literal bytes or, for a
// sound frame with unparseable granule data, as ancillary bits.
#include <algorithm>
#include <cstring>

#include "bitstream/mp3_bits.h"

void MP3::Input(FILE* file) {
  in_file = file;
  const long start = std::ftell(file);
  long end = -1;
  if (start >= 0 && std::fseek(file, 0, SEEK_END) == 0) end = std::ftell(file);
  if (start < 0 || end < start || std::fseek(file, start, SEEK_SET) != 0) {
    // An input that cannot be measured is treated as empty rather than read past its end.
    stream_end = read_offset = 0;
  } else {
    stream_end = int32_t(end);
    read_offset = int32_t(start);
  }
  std::memset(in_window, 0, sizeof in_window);
  window_cursor = in_window + 64 + kWindowSize;
  bits_avail = bits_pending = 0;
  ancillaryBits = prev_end_pos = freeBits = -1;
  BuildLsfTables();
  in_reset = 1;
  reading = 1;
}

void MP3::StoreByte(uint8_t value) { StoreBytes(&value, 1); }

// Bytes enter below the newest one, so a run read in file order is laid down reversed.
void MP3::StoreBytes(const uint8_t* bytes, int count) {
  uint8_t* const start = in_window + 64;
  const int added = 8 * count;
  while (count > 0) {
    if (window_cursor == start) {
      std::memcpy(start + kWindowSize / 2, start, kWindowSize / 2);
      window_cursor = start + kWindowSize / 2;
    }
    const int run = std::min(count, int(window_cursor - start));
    CopyReversed(window_cursor - 1, bytes, run);
    window_cursor -= run;
    bytes += run;
    count -= run;
  }
  bits_avail += added;
  bits_pending += added;
  if (prev_end_pos >= 0) prev_end_pos += added;
}

// Reads up to `count` bytes in one block call and returns how many arrived. Never reads
// more than asked, so the file position stays where the byte-wise reader would leave it.
int MP3::ReadBytes(int count) {
  uint8_t block[2048];
  int total = 0;
  count = std::min(count, stream_end - read_offset);
  while (total < count) {
    const int want = std::min(count - total, int(sizeof block));
    const int got = int(std::fread(block, 1, size_t(want), in_file));
    read_offset += got;
    total += got;
    StoreBytes(block, got);
    if (got < want) break;
  }
  return total;
}

bool MP3::EnsureBits(int n) {
  if (bits_avail >= n) return true;
  const int missing = (n - bits_avail + 7) / 8;
  return ReadBytes(missing) == missing;
}

bool MP3::HeaderAcceptable() const {
  return (header >> 21) == 0x7FF && (header >> 19 & 3) != 1 && (header >> 17 & 3) == 1 &&
         (header >> 12 & 15) != 0 && (header >> 12 & 15) != 15 && (header >> 10 & 3) != 3;
}

void MP3::CopyAncillary(int from, int to) {
  int count = from - to;
  // The bit reservoir bounds a gap to about 16 kbit; the clamp only guards the buffer.
  if (count > 8 * kAncillaryBytes) count = 8 * kAncillaryBytes;
  for (int i = 0; 8 * i < count; ++i) {
    const int p = from - 8 * (i + 1);
    ancillaryBuffer[i] = uint8_t(LoadWord(window_cursor + (p >> 3)) >> (p & 7));
  }
  ancillaryBits = count;
}

int MP3::Fail() {
  // The attempt began where bits_pending points: the end of the last frame's own main data.
  if (prev_end_pos >= 0) {
    CopyAncillary(prev_end_pos, bits_pending);
    prev_end_pos = -1;
  }
  bits_pending -= 8;
  if (bits_pending < 0) {
    bits_pending = bits_avail = 0;
    return 1;
  }
  bits_avail = bits_pending;
  in_reset = -1;
  return int(window_cursor[bits_pending >> 3]) - 256;
}

int MP3::ReadFrame() {
  reading = 1;
  if (!EnsureBits(32)) return Fail();
  header = GetBits(16) << 16;
  header |= GetBits(16);
  if (!HeaderAcceptable()) return Fail();
  const bool protectedFrame = !(header >> 16 & 1);
  if (protectedFrame) {
    if (!EnsureBits(16)) return Fail();
    crc_word = uint16_t(GetBits(16));
  }
  const int sideBytes = SideInfoBytes();
  if (!EnsureBits(8 * sideBytes)) return Fail();
  if (protectedFrame) {
    uint8_t bytes[2 + 32];
    bytes[0] = uint8_t(header >> 8), bytes[1] = uint8_t(header);
    for (int k = 0; k < sideBytes; ++k) bytes[2 + k] = window_cursor[bits_avail / 8 - 1 - k];
    crc_computed = Crc16(0xFFFF, bytes, 2 + sideBytes);
    if (crc_computed != crc_word) return Fail();
  }

  SideInformation();
  for (int gr = 0; gr < Granules(); ++gr)
    for (int ch = 0; ch < Channels(); ++ch) {
      const GrInfo& g = gr_info[gr][ch];
      bool bad = g.big_values > 288;
      bad |= !g.window_switching_flag && g.region0_count + g.region1_count + 2 > 22;
      for (int r = 0; r < 3; ++r) bad |= g.table_select[r] == 4 || g.table_select[r] == 14;
      if (bad) return Fail();
    }

  // Take the prefix and side information out of the window so that the main data of all
  // frames forms one continuous stream; newer bytes already read move up with the cursor.
  const int mainBytes = MainBytes();
  const int removed = PrefixBytes() + sideBytes;
  std::memmove(window_cursor + removed, window_cursor, size_t(bits_avail / 8));
  window_cursor += removed;
  if (prev_end_pos >= 0) prev_end_pos -= 8 * removed;

  // Missing bytes of a frame cut off by the end of the input read as 0; the writer never
  // emits more than the input held.
  if (bits_avail < 8 * mainBytes) {
    const int missing = mainBytes - bits_avail / 8;
    for (int absent = missing - ReadBytes(missing); absent > 0; --absent) StoreByte(0);
  }
  const int ownStart = bits_avail;
  const int ownEnd = ownStart - 8 * mainBytes;
  const int granuleStart = ownStart + 8 * reservoir_bytes;
  std::memset(spectrum, 0, sizeof spectrum);

  bool raw = (main_data_begin > 0 && in_reset) ||
             part23_total > 8 * (mainBytes + reservoir_bytes) ||
             (prev_end_pos >= 0 && granuleStart > prev_end_pos);
  if (!raw) {
    bits_avail = granuleStart;
    raw = !GranuleData();
  }
  int frameEnd = bits_avail;
  if (raw) {
    raw_main_data = 1;
    reservoir_bytes = 0;
    for (auto& granule : gr_info)
      for (GrInfo& g : granule) {
        g.saved_part2_3_length = g.part2_3_length;
        g.part2_3_length = 0;
      }
    part23_total = 0;
    frameEnd = ownStart;
  }
  if (prev_end_pos >= 0) CopyAncillary(prev_end_pos, raw ? ownStart : granuleStart);
  prev_end_pos = frameEnd;
  // Bytes read beyond this frame (possible after a literal byte when a tiny frame follows)
  // stay pending so the next call starts with them.
  bits_avail = bits_pending = ownEnd;
  in_reset = 0;
  return 0;
}

void MP3::ReadFlush() {
  if (prev_end_pos >= 0) {
    CopyAncillary(prev_end_pos, bits_avail);
    prev_end_pos = -1;
  }
}
