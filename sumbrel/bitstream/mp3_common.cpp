#include "bitstream/layer3_data.h"
#include "bitstream/mp3.h"
#include "crc32.h"

int MP3::VersionRow() const {
  switch (header >> 19 & 3) {
    case 3: return 0;
    case 0: return 2;
    default: return 1;
  }
}

int MP3::SideInfoBytes() const {
  if (IsMpeg1()) return Channels() == 1 ? 17 : 32;
  return Channels() == 1 ? 9 : 17;
}

int MP3::SamplingFrequencyIndex() const {
  const int frequency = header >> 10 & 3;
  return frequency > 2 ? 2 : frequency;  // only a damaged decoded header has 3
}

int MP3::SamplingRate() const { return layer3::sampleRate[VersionRow()][SamplingFrequencyIndex()]; }

int MP3::BitRate(int bitrateIndex) const {
  return IsMpeg1() ? layer3::bitRateMpeg1[bitrateIndex & 15] : layer3::bitRateMpeg2[bitrateIndex & 15];
}

int MP3::BandRow() const { return SamplingFrequencyIndex() + 3 * VersionRow(); }

int MP3::MainBytesAt(int bitrateIndex) const {
  const int samplesPerByte = IsMpeg1() ? 144 : 72;
  const int padding = header >> 9 & 1;
  return int(int64_t(samplesPerByte) * BitRate(bitrateIndex) / SamplingRate()) + padding -
         PrefixBytes() - SideInfoBytes();
}

bool MP3::WriteLiteral(int byte) {
  if (out_remaining == 0) return true;
  --out_remaining;
  const uint8_t value = uint8_t(byte);
  out_crc = Crc32C(&value, 1, out_crc);
  return !out_file || std::fputc(value, out_file) != EOF;
}

void MP3::BuildLsfTables() {
  for (uint32_t s = 0; s < 512; ++s) {
    uint32_t slen1, slen2, slen3, slen4, row, preflag = 0;
    if (s < 400) {
      slen1 = (s / 16) / 5, slen2 = (s / 16) % 5, slen3 = (s % 16) / 4, slen4 = s % 4, row = 0;
    } else if (s < 500) {
      const uint32_t t = s - 400;
      slen1 = (t / 4) / 5, slen2 = (t / 4) % 5, slen3 = t % 4, slen4 = 0, row = 1;
    } else {
      const uint32_t t = s - 500;
      slen1 = t / 3, slen2 = t % 3, slen3 = 0, slen4 = 0, row = 2, preflag = 1;
    }
    lsf_sfc_table[s] =
        slen1 | slen2 << 3 | slen3 << 6 | slen4 << 9 | row << 12 | preflag << 15;
  }
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t slen1, slen2, slen3, row;
    if (i < 180) {
      slen1 = i / 36, slen2 = (i % 36) / 6, slen3 = i % 6, row = 3;
    } else if (i < 244) {
      const uint32_t t = i - 180;
      slen1 = t / 16, slen2 = (t % 16) / 4, slen3 = t % 4, row = 4;
    } else {
      const uint32_t t = i - 244;
      slen1 = t / 3, slen2 = t % 3, slen3 = 0, row = 5;
    }
    lsf_is_sfc_table[i] = slen1 | slen2 << 3 | slen3 << 6 | row << 12;
  }
}

uint16_t Crc16(uint16_t crc, const uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    crc ^= uint16_t(bytes[i] << 8);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? uint16_t(crc << 1 ^ 0x8005) : uint16_t(crc << 1);
  }
  return crc;
}
