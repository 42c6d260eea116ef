// Class MP3: the record of one parsed Layer III frame and the bitstream state of its
// reader (Input, ReadFrame, ReadFlush) and writer (Output, WriteFrame, WriteFlush).
// The model is built on top of this object: it reads the record after ReadFrame and
// fills it before WriteFrame. The side-information and granule routines are written
// once and serve both directions, selected by `reading`.
//
// The code tables (bitstream/huffman_tables.h) must be built before frames are read or
// written.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

struct GrInfo {
  int32_t part2_length;
  int32_t saved_part2_3_length;
  int32_t part2_3_length;
  int32_t big_values;
  int32_t global_gain;
  int32_t scalefac_compress;
  int32_t window_switching_flag;
  int32_t block_type;
  int32_t mixed_block_flag;
  int32_t table_select[3];
  int32_t subblock_gain[3];
  int32_t region0_count;
  int32_t region1_count;
  int32_t preflag;
  int32_t scalefac_scale;
  int32_t count1table_select;
};
static_assert(sizeof(GrInfo) == 20 * 4);

// One queued frame of the writer: header, CRC and side information in stream order.
struct FrameRingEntry {
  uint8_t bytes[40];
  int32_t head_count;
  int32_t main_count;
};

class MP3 {
 public:
  static constexpr int kWindowSize = 32768;
  static constexpr int kOutBufferSize = 32768;
  static constexpr int kAncillaryBytes = 4096;
  static constexpr int kRingSize = 512;

  // ---- frame record ----
  uint32_t header;
  uint16_t crc_word;
  int32_t main_data_begin;
  int32_t reservoir_bytes;
  int32_t private_bits;
  int32_t scfsi[2][4];
  int32_t part23_total;
  int32_t raw_main_data;
  GrInfo gr_info[2][2];
  uint16_t scalefac[2][2][78];
  int16_t spectrum[2][2][576];
  uint16_t crc_computed;

  // ---- bitstream state ----
  int32_t reading;
  FILE* in_file;
  FILE* out_file;
  int32_t stream_end;
  int32_t read_offset;
  int32_t out_remaining;
  // CRC-32C of every byte the writer has sent, so a restore can prove what it wrote; the
  // writer sends to no file when out_file is null (a check that keeps nothing).
  uint32_t out_crc;
  // Nonzero while the reader cannot use the bit reservoir for the next frame: 1 at the start
  // of the input, -1 after a literal byte. An accepted frame clears it, so while a frame is
  // being coded in_reset is always 0, while the writer's out_reset is 1 for the first frame
  // (it is cleared once that frame is written). There the model has no previous frame
  // (freeBits -1) and so predicts alike in both directions. When a run of frames ends at a
  // literal byte, in_reset is already -1 while the last gap is coded: the encoder then never
  // takes that gap from freeBits, and the decoder reads its choice from the stream.
  int32_t in_reset;
  int32_t out_reset;
  // Bytes are stored newest at the lowest address. The margins around the window let a
  // 32-bit load at any position that a frame, however damaged, can reach stay in the array:
  // granule data may run a few hundred bits past the newest byte before it is rejected.
  uint8_t in_window[64 + kWindowSize + 8];
  uint8_t* window_cursor;
  int32_t bits_avail;
  int32_t bits_pending;
  // The margin above lets a damaged decoded frame point its reservoir and ancillary bits
  // above the top of the buffer without writing outside the object.
  uint8_t out_buffer[kOutBufferSize + 5120];
  int32_t out_bitpos;
  int32_t out_next_byte;
  uint8_t ancillaryBuffer[kAncillaryBytes + 4];
  int32_t ancillaryBits;
  int32_t prev_end_pos;
  int32_t freeBits;
  FrameRingEntry frame_ring[kRingSize];
  // Nine-bit fields, so the indices wrap modulo the ring size by themselves.
  uint32_t ring_tail : 9;
  uint32_t ring_head : 9;
  int32_t frames_written;
  uint32_t lsf_sfc_table[512];
  uint32_t lsf_is_sfc_table[256];

  void Input(FILE* file);
  int ReadFrame();
  void ReadFlush();

  void Output(FILE* file);
  int WriteFrame();
  void WriteFlush();

  // ---- header helpers, safe for any header word ----
  bool IsMpeg1() const { return (header >> 19 & 3) == 3; }
  int VersionRow() const;           // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
  int Channels() const { return (header >> 6 & 3) == 3 ? 1 : 2; }
  int Granules() const { return IsMpeg1() ? 2 : 1; }
  int SideInfoBytes() const;
  int PrefixBytes() const { return (header >> 16 & 1) ? 4 : 6; }
  int SamplingFrequencyIndex() const;  // 0-2; the reserved 3 of a damaged header counts as 2
  int SamplingRate() const;            // Hz
  int BitRate(int bitrateIndex) const;  // bit/s of an index in this header's version; 0 for 0, 15
  int MainBytesAt(int bitrateIndex) const;  // own main-data bytes if the header had that index
  int MainBytes() const { return MainBytesAt(header >> 12 & 15); }
  int BandRow() const;              // row of the long-block band boundaries

  // Sends one byte that is not part of a frame to the output, under the same limit of
  // out_remaining as the frames. False when the write failed.
  bool WriteLiteral(int byte);

 private:
  // reader
  int ReadBytes(int count);
  void StoreByte(uint8_t value);
  void StoreBytes(const uint8_t* bytes, int count);
  bool EnsureBits(int n);
  uint32_t GetBits(int n);
  uint32_t PeekBits(int n) const;
  int Fail();
  void CopyAncillary(int from, int to);
  bool HeaderAcceptable() const;

  // writer
  void PutBits(uint32_t value, int n);
  void SendBytes(const uint8_t* bytes, int count);
  void SendQueuedFrames(bool all);
  void WriteAncillary(int endPos);

  // both directions
  int Pos() const { return reading ? bits_avail : out_bitpos; }
  void SetPos(int pos) { (reading ? bits_avail : out_bitpos) = pos; }
  void Field(int32_t& value, int n);
  void Field(uint16_t& value, int n);
  void SideInformation();
  bool GranuleData();
  bool GranuleMpeg1(int gr, int ch);
  bool GranuleMpeg2(int ch);
  bool HuffmanData(int gr, int ch, int end);
  int DecodeLongCode(int table, uint32_t peek);
  bool DecodeRegion(int table, int16_t* values, int from, int to, int end);
  bool DecodePairSlowly(int table, uint32_t fast, uint32_t peek, int16_t* values);
  void EncodeRegion(int table, const int16_t* values, int from, int to, int end);
  void EncodePairSlowly(int table, int x, int y);
  void DecodeCount1(int count1, int16_t* values, int from, int end);
  void EncodeCount1(int count1, const int16_t* values, int from, int end);
  void BuildLsfTables();
};

// The model clears these spans as whole blocks, so they must stay contiguous.
static_assert(offsetof(MP3, gr_info) + sizeof(MP3::gr_info) - offsetof(MP3, main_data_begin) ==
              372);
static_assert(offsetof(MP3, spectrum) - offsetof(MP3, scalefac) == 624);

uint16_t Crc16(uint16_t crc, const uint8_t* bytes, int count);
