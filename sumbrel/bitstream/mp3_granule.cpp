// Side information and granule data, written once for both directions: every field is
// read from the input window when `reading` is set and appended to the output buffer
// otherwise, with the same widths, order and conditions.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "bitstream/huffman_fast.h"
#include "bitstream/huffman_tables.h"
#include "bitstream/layer3_data.h"
#include "bitstream/mp3_bits.h"

void MP3::SideInformation() {
  const bool lsf = !IsMpeg1();
  const int channels = Channels();
  Field(main_data_begin, lsf ? 8 : 9);
  reservoir_bytes = (reading ? in_reset : out_reset) ? 0 : main_data_begin;
  Field(private_bits, lsf ? (channels == 1 ? 1 : 2) : (channels == 1 ? 5 : 3));
  if (!lsf)
    for (int ch = 0; ch < channels; ++ch)
      for (int band = 0; band < 4; ++band) Field(scfsi[ch][band], 1);
  part23_total = 0;
  if (reading) raw_main_data = 0;
  for (int gr = 0; gr < Granules(); ++gr) {
    for (int ch = 0; ch < channels; ++ch) {
      GrInfo& g = gr_info[gr][ch];
      if (reading) {
        Field(g.part2_3_length, 12);
      } else {
        int32_t length = raw_main_data ? g.saved_part2_3_length : g.part2_3_length;
        Field(length, 12);
      }
      part23_total += g.part2_3_length;
      Field(g.big_values, 9);
      Field(g.global_gain, 8);
      Field(g.scalefac_compress, lsf ? 9 : 4);
      Field(g.window_switching_flag, 1);
      if (g.window_switching_flag) {
        Field(g.block_type, 2);
        Field(g.mixed_block_flag, 1);
        Field(g.table_select[0], 5);
        Field(g.table_select[1], 5);
        for (int w = 0; w < 3; ++w) Field(g.subblock_gain[w], 3);
        // These put region 1 at 36 samples for short blocks in every version.
        g.table_select[2] = 0;
        g.region0_count = (lsf && g.block_type == 2) ? 5 : 7;
        g.region1_count = 22;
      } else {
        if (reading) {
          g.block_type = g.mixed_block_flag = 0;
          g.subblock_gain[0] = g.subblock_gain[1] = g.subblock_gain[2] = 0;
        }
        for (int r = 0; r < 3; ++r) Field(g.table_select[r], 5);
        Field(g.region0_count, 4);
        Field(g.region1_count, 3);
      }
      if (!lsf)
        Field(g.preflag, 1);
      else if (reading)
        g.preflag = 0;  // taken from the scale-factor layout with the granule data
      Field(g.scalefac_scale, 1);
      Field(g.count1table_select, 1);
    }
  }
}

bool MP3::GranuleData() {
  const int channels = Channels();
  if (IsMpeg1()) {
    for (int gr = 0; gr < 2; ++gr)
      for (int ch = 0; ch < channels; ++ch)
        if (!GranuleMpeg1(gr, ch)) return false;
  } else {
    for (int ch = 0; ch < channels; ++ch)
      if (!GranuleMpeg2(ch)) return false;
  }
  return true;
}

bool MP3::GranuleMpeg1(int gr, int ch) {
  GrInfo& g = gr_info[gr][ch];
  if (g.part2_3_length == 0) return true;
  const int end = Pos() - g.part2_3_length;
  uint16_t* sf = scalefac[gr][ch];
  if (reading) std::fill(sf, sf + 78, uint16_t(0));
  const int slen1 = layer3::slen1Mpeg1[g.scalefac_compress & 15];
  const int slen2 = layer3::slen2Mpeg1[g.scalefac_compress & 15];
  if (g.block_type == 2) {
    int firstShort = 0;
    if (g.mixed_block_flag) {
      for (int band = 0; band < 8; ++band) Field(sf[band], slen1);
      firstShort = 3;
    }
    for (int band = firstShort; band < 12; ++band)
      for (int w = 0; w < 3; ++w) Field(sf[39 + 3 * band + w], band < 6 ? slen1 : slen2);
  } else {
    static const int groupStart[5] = {0, 6, 11, 16, 21};
    for (int group = 0; group < 4; ++group) {
      const bool shared = gr == 1 && scfsi[ch][group];
      for (int band = groupStart[group]; band < groupStart[group + 1]; ++band) {
        if (shared)
          sf[band] = scalefac[0][ch][band];
        else
          Field(sf[band], band < 11 ? slen1 : slen2);
      }
    }
  }
  return HuffmanData(gr, ch, end);
}

bool MP3::GranuleMpeg2(int ch) {
  GrInfo& g = gr_info[0][ch];
  const int end = Pos() - g.part2_3_length;
  uint16_t* sf = scalefac[0][ch];
  if (reading) std::fill(sf, sf + 78, uint16_t(0));
  const bool intensityRight = ch == 1 && (header >> 4 & 1);
  const uint32_t layout = intensityRight ? lsf_is_sfc_table[(g.scalefac_compress >> 1) & 255]
                                         : lsf_sfc_table[g.scalefac_compress & 511];
  g.preflag = layout >> 15 & 1;
  const int kind = g.block_type != 2 ? 0 : g.mixed_block_flag ? 2 : 1;
  const int row = layout >> 12 & 7;
  int k = 0;
  for (int group = 0; group < 4; ++group) {
    const int slen = layout >> (3 * group) & 7;
    for (int i = 0; i < layer3::nrOfSfb[row][kind][group]; ++i) Field(sf[k++], slen);
  }
  for (int i = 0; i < 2 * kind + 1; ++i) sf[k++] = 0;
  return HuffmanData(0, ch, end);
}

// Decodes the pairs of one region while the read point is before end. Most pairs, signs
// included, come from one lookup; the rest continue in DecodePairSlowly.
bool MP3::DecodeRegion(int table, int16_t* values, int from, int to, int end) {
  const uint32_t* const decode = huffPairDecode[table];
  int pos = bits_avail;
  HeldBits in(window_cursor, pos);
  for (int i = from; i < to && pos > end; i += 2) {
    const uint32_t peek = in.Peek(pos, 19);
    const uint32_t fast = decode[peek >> (19 - huffPairBits)];
    if (fast >> 31) {
      pos -= fast >> 16 & 31;
      values[i] = int8_t(fast), values[i + 1] = int8_t(fast >> 8);
      continue;
    }
    bits_avail = pos;
    const bool ok = DecodePairSlowly(table, fast, peek, values + i);
    pos = bits_avail;
    if (!ok) return false;
  }
  bits_avail = pos;
  return true;
}

// A pair whose code fitted the lookup but whose linbits or signs did not continues from the
// code; only a code longer than the lookup walks the decode list.
bool MP3::DecodePairSlowly(int table, uint32_t fast, uint32_t peek, int16_t* values) {
  int x, y;
  if (fast) {
    bits_avail -= fast >> 16 & 31;
    x = fast & 0xFF, y = fast >> 8 & 0xFF;
  } else {
    const int symbol = DecodeLongCode(table, peek);
    if (symbol < 0) return false;
    x = symbol >> 4, y = symbol & 15;
  }
  const int linbits = huffmanShape[table].linbits;
  if (x == 15 && linbits) x += int(GetBits(linbits));
  if (x && GetBits(1)) x = -x;
  if (y == 15 && linbits) y += int(GetBits(linbits));
  if (y && GetBits(1)) y = -y;
  values[0] = int16_t(x), values[1] = int16_t(y);
  return true;
}

// -1 when no code of the table matches the 19 bits at the read point. Only codes longer than
// the pair lookup are tried: the lookup held every shorter one.
int MP3::DecodeLongCode(int table, uint32_t peek) {
  for (const uint32_t* entry = huffLongCodes[table]; *entry; ++entry) {
    const uint32_t key = *entry >> 8;
    const int length = 31 - __builtin_clz(key);
    if (length > 19) break;
    if ((peek >> (19 - length)) == key - (1u << length)) {
      bits_avail -= length;
      return int(*entry & 0xFF);
    }
  }
  return -1;
}

// The writing counterpart of DecodeRegion.
void MP3::EncodeRegion(int table, const int16_t* values, int from, int to, int end) {
  const uint32_t* const encode = huffPairEncode[table];
  PendingBits out(out_buffer, out_bitpos);
  for (int i = from; i < to && out.Pos() > end; i += 2) {
    const int x = values[i], y = values[i + 1];
    // Values outside -15..16 occur only with linbits or in a damaged decoded frame.
    const uint32_t fast =
        (unsigned(x + 15) | unsigned(y + 15)) < 32 ? encode[pairEncodeSide * (x & 31) + (y & 31)] : 0;
    if (fast) {
      out.Put(fast >> 5, int(fast & 31));
      continue;
    }
    out_bitpos = out.Finish();
    EncodePairSlowly(table, x, y);
    out = PendingBits(out_buffer, out_bitpos);
  }
  out_bitpos = out.Finish();
}

void MP3::EncodePairSlowly(int table, int x, int y) {
  const HuffmanShape& shape = huffmanShape[table];
  const int ax = std::abs(x), ay = std::abs(y);
  if (!shape.linbits) {
    const int cx = std::clamp(x, -15, 15), cy = std::clamp(y, -15, 15);
    const uint32_t clamped = huffPairEncode[table][pairEncodeSide * (cx & 31) + (cy & 31)];
    PutBits(clamped >> 5, clamped & 31);
    return;
  }
  const int index = std::min(ax, 15) * shape.ylen + std::min(ay, 15);
  PutBits(huffCodes[table][index], huffLengths[table][index]);
  if (ax >= 15) PutBits(uint32_t(ax - 15), shape.linbits);
  if (x) PutBits(x < 0, 1);
  if (ay >= 15) PutBits(uint32_t(ay - 15), shape.linbits);
  if (y) PutBits(y < 0, 1);
}

// Quadruples from value `from` while i <= 572 and the read point is before end. Both count1
// codes are complete, so every bit string decodes.
void MP3::DecodeCount1(int count1, int16_t* values, int from, int end) {
  const Count1Quad* const decode = count1Decode[count1];
  int pos = bits_avail;
  HeldBits in(window_cursor, pos);
  for (int i = from; i <= 572 && pos > end; i += 4) {
    const Count1Quad& quad = decode[in.Peek(pos, count1QuadBits)];
    pos -= quad.length;
    std::memcpy(values + i, quad.values, sizeof quad.values);
  }
  bits_avail = pos;
}

namespace {
// 0, 1 and -1 give the classes 0, 1 and 3 of the count1 encode array; any other value gives
// 2, whose entries are empty.
inline int Count1Class(int value) {
  static constexpr uint8_t kClass[4] = {3, 0, 1, 2};
  return kClass[std::min(unsigned(value + 1), 3u)];
}
}  // namespace

void MP3::EncodeCount1(int count1, const int16_t* values, int from, int end) {
  const uint16_t* const encode = count1Encode + 256 * count1;
  PendingBits out(out_buffer, out_bitpos);
  for (int i = from; i <= 572 && out.Pos() > end; i += 4) {
    const int index = 64 * Count1Class(values[i]) + 16 * Count1Class(values[i + 1]) +
                      4 * Count1Class(values[i + 2]) + Count1Class(values[i + 3]);
    const uint32_t entry = encode[index];
    out.Put(entry & 1023, int(entry >> 10));
  }
  out_bitpos = out.Finish();
}

bool MP3::HuffmanData(int gr, int ch, int end) {
  const GrInfo& g = gr_info[gr][ch];
  int16_t* values = spectrum[gr][ch];
  const int16_t* boundary = layer3::longBandBoundary[BandRow()];
  const int bigEnd = std::min(2 * g.big_values, 576);
  const int r1 = std::min<int>(boundary[std::min(g.region0_count + 1, 22)], bigEnd);
  const int r2 =
      std::min<int>(boundary[std::min(g.region0_count + g.region1_count + 2, 22)], bigEnd);

  // A last code may run past end: the 24 bits after end read as 1 meanwhile, which the
  // writer reproduces and then clears.
  uint8_t* patchAt = nullptr;
  uint32_t patchSaved = 0;
  if (reading) {
    patchAt = window_cursor + ((end - 24) >> 3);
    patchSaved = LoadWord(patchAt);
    StoreWord(patchAt, patchSaved | 0xFFFFFFu << ((end - 24) & 7));
  }

  bool ok = true;
  const int regionStart[3] = {0, r1, r2};
  const int regionEnd[3] = {r1, r2, bigEnd};
  for (int r = 0; r < 3 && ok; ++r) {
    const int table = g.table_select[r] & 31;
    if (table == 0) continue;
    if (!huffCodes[table]) {  // tables 4 and 14 do not exist
      ok = !reading;
      continue;
    }
    if (reading)
      ok = DecodeRegion(table, values, regionStart[r], regionEnd[r], end);
    else
      EncodeRegion(table, values, regionStart[r], regionEnd[r], end);
  }

  const int count1 = g.count1table_select & 1;
  if (ok && reading)
    DecodeCount1(count1, values, bigEnd, end);
  else if (ok)
    EncodeCount1(count1, values, bigEnd, end);


  // Every value is done; what is left up to end must be stuffing of 1-bits.
  while (ok && Pos() > end) {
    const int n = std::min(Pos() - end, 24);
    const uint32_t ones = (1u << n) - 1;
    if (reading)
      ok = GetBits(n) == ones;
    else
      PutBits(ones, n);
  }

  SetPos(end);
  if (reading) {
    StoreWord(patchAt, patchSaved);
  } else {
    uint8_t* at = out_buffer + ((end - 24) >> 3);
    StoreWord(at, LoadWord(at) & ~(0xFFFFFFu << ((end - 24) & 7)));
  }
  return ok;
}
