// Inputs assembled from raw pieces and stand-in streams, with what the
// container made of them is expected to hold.
#pragma once

#include <string>
#include <vector>

#include "driver_samples.h"

namespace e2e {

struct Layout {
  std::string input;
  std::vector<std::string> streams;   // bytes of every stream the encoder should keep
  std::vector<std::string> contents;  // their decompressed contents, same order

  Layout& Raw(const std::string& Bytes) {
    input += Bytes;
    return *this;
  }
  Layout& Stream(const std::string& Contents, int Level) {
    const std::string Packed = samples::PackStream(Contents, Level);
    input += Packed;
    streams.push_back(Packed);
    contents.push_back(Contents);
    return *this;
  }
};

// Rebuilds the input from the records the way the format defines it, with the
// codec called directly: checks the container independently of orvane d.
inline std::string ReferenceDecode(const std::vector<samples::Record>& Records) {
  std::string Out;
  for (const auto& R : Records) {
    if (R.kind == samples::Record::Raw) Out += R.raw;
    if (R.kind != samples::Record::Group) continue;
    size_t Offset = 0;
    for (size_t i = 0; i < R.levels.size(); ++i) {
      Out += R.runs[i];
      Out += samples::PackStream(R.contents.substr(Offset, static_cast<size_t>(R.lengths[i])), R.levels[i]);
      Offset += static_cast<size_t>(R.lengths[i]);
    }
    Out += R.runs.back();
  }
  return Out;
}

// Every stream's contents, in container order.
inline std::vector<std::string> StoredContents(const std::vector<samples::Record>& Records) {
  std::vector<std::string> Out;
  for (const auto& R : Records) {
    size_t Offset = 0;
    for (int32_t Length : R.lengths) {
      Out.push_back(R.contents.substr(Offset, static_cast<size_t>(Length)));
      Offset += static_cast<size_t>(Length);
    }
  }
  return Out;
}

inline int CountGroups(const std::vector<samples::Record>& Records) {
  int N = 0;
  for (const auto& R : Records) N += R.kind == samples::Record::Group;
  return N;
}

}  // namespace e2e
