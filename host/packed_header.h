// What the first 16 bytes of a file say about it: which form of compressed file it is, the
// original length and the frame count it records.
#pragma once
#include <cstdint>
#include <string>

enum class PackedForm { NotCompressed, ModelCoded, Stored };

struct PackedHeader {
  PackedForm form = PackedForm::NotCompressed;
  int64_t fileSize = 0;
  int64_t originalSize = 0;  // model-coded: the recorded MP3 length; stored: fileSize - 4
  int64_t frames = -1;       // model-coded only; -1 when not recorded
  bool complete = true;      // false for a model-coded file shorter than its 16-byte header

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

const char* FormName(PackedForm form);
