// Scan throughput of the encoder's detection over 256 MiB, block by block as
// the encoder walks its window, next to memchr and memcpy on the same buffer.
// Usage: bench-scan [MiB]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "OodleDetect.h"

namespace {

constexpr int64_t ChunkSize = 0x2000000;

template <typename F>
double Seconds(F&& Work) {
  double Best = 1e9;
  for (int Round = 0; Round < 3; Round++) {
    const auto Start = std::chrono::steady_clock::now();
    Work();
    const std::chrono::duration<double> Took = std::chrono::steady_clock::now() - Start;
    Best = std::min(Best, Took.count());
  }
  return Best;
}

// The encoder's scan without the size probe: every 32 MiB block, with the
// following 32 MiB as look-ahead. Returns the positions where a stream of a
// class the encoder processes starts.
int64_t Scan(const std::vector<uint8_t>& Buffer, bool JumpToCandidates) {
  const int64_t Total = int64_t(Buffer.size());
  int64_t Found = 0;
  for (int64_t Block = 0; Block < Total; Block += ChunkSize) {
    const uint8_t* Window = Buffer.data() + Block;
    const int64_t W = std::min(Total - Block, 2 * ChunkSize);
    const int64_t Size = std::min(W, ChunkSize);
    int64_t Pos = JumpToCandidates ? int64_t(FindStreamStart(Window, size_t(Size))) : 0;
    while (Pos < Size) {
      int32_t CSize, DSize, PCodec;
      GetOodleSI(Window + Pos, int32_t(W - Pos), CSize, DSize, PCodec);
      if (CSize > 0 && (PCodec == 0 || PCodec == 2)) Found++;
      Pos++;
      if (JumpToCandidates) Pos += int64_t(FindStreamStart(Window + Pos, size_t(Size - Pos)));
    }
  }
  return Found;
}

int64_t MemchrCount(const std::vector<uint8_t>& Buffer) {
  int64_t Count = 0;
  const uint8_t* P = Buffer.data();
  const uint8_t* End = P + Buffer.size();
  while ((P = static_cast<const uint8_t*>(std::memchr(P, 0x8C, size_t(End - P)))) != nullptr) {
    Count++;
    P++;
  }
  return Count;
}

void Report(const char* Name, const std::vector<uint8_t>& Buffer) {
  const double MB = double(Buffer.size()) / 1e6;
  std::vector<uint8_t> Copy(Buffer.size());
  int64_t Fast = 0, Slow = 0, Hits = 0;
  const double TFast = Seconds([&] { Fast = Scan(Buffer, true); });
  const double TSlow = Seconds([&] { Slow = Scan(Buffer, false); });
  const double TChr = Seconds([&] { Hits = MemchrCount(Buffer); });
  const double TCpy = Seconds([&] { std::memcpy(Copy.data(), Buffer.data(), Buffer.size()); });
  std::printf("%s (%.0f MB):\n", Name, MB);
  std::printf("  scan, jumping to candidates  %8.0f MB/s  (%lld header chains)\n", MB / TFast, (long long)Fast);
  std::printf("  scan, GetOodleSI every byte  %8.0f MB/s  (%lld header chains)\n", MB / TSlow, (long long)Slow);
  std::printf("  memchr 0x8C                  %8.0f MB/s  (%lld hits)\n", MB / TChr, (long long)Hits);
  std::printf("  memcpy                       %8.0f MB/s  (check %u)\n", MB / TCpy, unsigned(Copy[Copy.size() / 2]));
  if (Fast != Slow) {
    std::printf("  MISMATCH between the two scans\n");
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const size_t MiB = argc > 1 ? size_t(std::atol(argv[1])) : 256;
  std::vector<uint8_t> Buffer(MiB << 20);
  std::mt19937_64 Rng(20240601);
  for (size_t i = 0; i < Buffer.size(); i += 8) {
    const uint64_t V = Rng();
    std::memcpy(&Buffer[i], &V, std::min<size_t>(8, Buffer.size() - i));
  }
  std::printf("bench-scan: one thread\n");
  Report("random bytes", Buffer);
  for (size_t i = 0; i < Buffer.size(); i += 16) Buffer[i] = 0x8C;
  Report("random bytes, every 16th byte 0x8C", Buffer);
  return 0;
}
