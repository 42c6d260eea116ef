// What the header of a file says about it: which form and format of compressed file it is, the
// original length, the frame count and (format 2) the checksum it records.
#pragma once
#include <cstdint>
#include <string>

enum class PackedForm { NotCompressed, ModelCoded, Stored };

struct PackedHeader {
  PackedForm form = PackedForm::NotCompressed;
  int format = 0;  // 1 or 2 for a compressed file
  int64_t fileSize = 0;
  int64_t originalSize = 0;  // the recorded MP3 length; format 1's stored form: fileSize - 4
  int64_t frames = -1;       // model-coded only; -1 when not recorded
  bool complete = true;      // false for a compressed file shorter than its header
  uint32_t model = 0;        // format 2, model-coded: the model it was coded with
  uint32_t checksum = 0;     // format 2: the CRC-32C of the MP3 file

  bool operator==(const PackedHeader&) const = default;
};

// Reads the header of `path`. Returns false with the reason in `error` when it cannot be read.
bool ReadPackedHeader(const std::string& path, PackedHeader& header, std::string& error);

// Why a file with this header cannot be restored as it is, or "" when nothing is wrong with it.
std::string HeaderDamage(const PackedHeader& header);

// Share of the original size that the compressed file saves, in percent.
double SavedPercent(int64_t originalSize, int64_t compressedSize);

// The line `sumbrel info` prints for a readable file, without the file's name.
std::string DescribeHeader(const PackedHeader& header);

// "model-coded (format 2)", "stored (format 1)", "not compressed".
std::string FormName(const PackedHeader& header);
