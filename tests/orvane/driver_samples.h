// Inputs for the orvane driver suites, the example and the benchmark: seeded
// bytes, stand-in codec streams, and a reader of container records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace samples {

std::string RandomBytes(size_t Size, uint32_t Seed);
// Word soup with some noise: compresses well, and levels differ on it.
std::string TextBytes(size_t Size, uint32_t Seed);
// Fixed-width records with counters and small fields, like tables in a file.
std::string BinaryBytes(size_t Size, uint32_t Seed);

// The stand-in codec's stream of Contents at Level (1 to 9).
std::string PackStream(const std::string& Contents, int Level);

// A well-formed stream that decodes to Length bytes of a repeating pattern but
// that no level produces, so the encoder cannot replace it.
std::string UnreproducibleStream(size_t Length);
// Its decoded contents.
std::string UnreproducibleContents(size_t Length);

// A mix of raw bytes (random and text) and streams at mixed levels of about
// Size bytes in all; stream contents are MinContents to MaxContents bytes.
// Returns the streams' total decompressed length in *Contents when given.
std::string Archive(size_t Size, uint32_t Seed, size_t MinContents, size_t MaxContents,
                    uint64_t* Contents = nullptr, std::vector<int>* LevelsUsed = nullptr);

struct Record {
  enum Kind { End, Raw, Group } kind = End;
  std::string raw;                  // Raw: its bytes
  std::vector<int> levels;          // Group: per stream
  std::vector<int32_t> lengths;     // Group: decompressed length per stream
  int64_t total = 0;                // Group: the stored total
  std::string contents;             // Group: the contents, back to back
  std::vector<std::string> runs;    // Group: N + 1 raw runs
  // End: whether it is the checked end, and then its trailer.
  bool checked = false;
  int64_t inputLength = 0;
  uint32_t inputCrc = 0;
  std::vector<uint32_t> streamCrcs;
  uint32_t checksum = 0;
};

// Splits a container into records; throws std::runtime_error when it is not a
// well-formed container ending with an end record (plain, or checked with its
// trailer) and nothing after it.
std::vector<Record> ParseContainer(const std::string& Container);

}  // namespace samples
