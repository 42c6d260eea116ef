#include "packed_header.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "host_os.h"
#include "module/file_format.h"

bool ReadPackedHeader(const std::string& path, PackedHeader& header, std::string& error) {
  header = PackedHeader();
  unsigned char bytes[file_format::kLongestHeader] = {};
  size_t have = 0;
  int64_t size = 0;
  if (!HostOs::ReadFileStart(path, bytes, sizeof bytes, have, size, error)) return false;
  header.fileSize = size;
  header.originalSize = size;
  const file_format::Header fields = file_format::ParseHeader(bytes, have);
  if (!fields.hasMagic || fields.form == file_format::Form::None) return true;
  header.form = fields.form == file_format::Form::Model ? PackedForm::ModelCoded : PackedForm::Stored;
  header.format = fields.format;
  header.complete = fields.complete;
  header.model = fields.model;
  header.checksum = fields.checksum;
  if (fields.magic == STORED_MAGIC) {
    header.originalSize = size - file_format::kStoredOverhead;
  } else {
    // The length is signed; a negative one can only come from damage.
    header.originalSize = fields.hasLength ? fields.length : 0;
    if (header.form == PackedForm::ModelCoded) header.frames = fields.hasFrames ? fields.frames : -1;
  }
  return true;
}

std::string HeaderDamage(const PackedHeader& header) {
  if (header.form == PackedForm::NotCompressed) return "";
  // Format 1's stored form is its magic word and the MP3 file: any length is sound.
  if (header.format == 1 && header.form == PackedForm::Stored) return "";
  const int64_t headerBytes = header.format == 1 ? file_format::kHeaderBytes
                              : header.form == PackedForm::ModelCoded ? file_format::kModel2HeaderBytes
                                                                      : file_format::kStored2HeaderBytes;
  if (!header.complete)
    return "damaged compressed file: only " + std::to_string(header.fileSize) +
           " bytes, shorter than its " + std::to_string(headerBytes) + "-byte header";
  if (header.format == 2 && header.form == PackedForm::ModelCoded && header.model != file_format::kModelNumber) {
    const std::string model = std::to_string(header.model);
    if (header.model > file_format::kModelNumber)
      return "made by a later version of sumbrel, or damaged: its header names model " + model +
             ", and this version knows model " + std::to_string(file_format::kModelNumber) + " only";
    return "damaged compressed file: its header names model " + model + ", which no version writes";
  }
  // A job never codes an empty MP3 file, so a length of 0 or less is damage.
  if (header.originalSize <= 0)
    return "damaged compressed file: the header records an original length of " +
           std::to_string(header.originalSize);
  if (header.form == PackedForm::ModelCoded && header.frames < 0)
    return "damaged compressed file: the header records " + std::to_string(header.frames) +
           " frames";
  // The stored form's size follows from the length it records: anything else is a file cut
  // short or grown, which `info` would otherwise report with made-up numbers.
  if (header.form == PackedForm::Stored && header.fileSize - headerBytes != header.originalSize)
    return "damaged compressed file: " + std::to_string(header.fileSize) +
           " bytes, where a stored file of the recorded " + std::to_string(header.originalSize) +
           " bytes takes " + std::to_string(header.originalSize + headerBytes);
  return "";
}

double SavedPercent(int64_t originalSize, int64_t compressedSize) {
  if (originalSize <= 0) return 0.0;
  return 100.0 - 100.0 * double(compressedSize) / double(originalSize);
}

std::string FormName(const PackedHeader& header) {
  switch (header.form) {
    case PackedForm::ModelCoded: return "model-coded (format " + std::to_string(header.format) + ")";
    case PackedForm::Stored: return "stored (format " + std::to_string(header.format) + ")";
    case PackedForm::NotCompressed: break;
  }
  return "not compressed";
}

std::string DescribeHeader(const PackedHeader& header) {
  if (header.form == PackedForm::NotCompressed)
    return "not compressed, " + std::to_string(header.fileSize) + " bytes";
  char line[256];
  std::snprintf(line, sizeof line, ", original %" PRId64 " bytes, compressed %" PRId64 " bytes, saved %.2f%%, ",
                header.originalSize, header.fileSize, SavedPercent(header.originalSize, header.fileSize));
  std::string text = FormName(header) + line;
  text += header.form == PackedForm::ModelCoded ? std::to_string(header.frames) + " frames"
                                                : std::string("frames not recorded");
  if (header.format == 2) {
    std::snprintf(line, sizeof line, ", CRC-32C %08" PRIx32, header.checksum);
    text += line;
  }
  return text;
}
