// standin-seeds DIR: writes inputs for the stand-in decompression harness:
// the raw length as a 32-bit little-endian word, then a stream of that length
// (text-like contents, one to three blocks, every level).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" intptr_t OodleLZ_Compress(int32_t Codec, const void* Buf, intptr_t Len, void* Dst, int32_t Method,
                                     const void* Opt, const void* Dict, void* Unused);

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: standin-seeds DIR\n");
    return 2;
  }
  static const char* const Words[] = {"stream ", "block ", "header ", "level ", "chunk ", "raw "};
  uint32_t State = 12345;
  auto Next = [&] { return State = State * 1103515245u + 12345u; };
  const int32_t Sizes[] = {1, 17, 300, 4096, 70000, 262144, 262145, 600000};
  int Made = 0;
  for (const int32_t Size : Sizes) {
    std::vector<uint8_t> Raw;
    while (Raw.size() < size_t(Size)) {
      if (Next() >> 29 == 0) Raw.push_back(uint8_t(Next() >> 16));
      for (const char* W = Words[(Next() >> 16) % 6]; *W && Raw.size() < size_t(Size); ++W) Raw.push_back(uint8_t(*W));
    }
    const int32_t Level = 1 + Made % 9;
    std::vector<uint8_t> Out(4 + 2 * size_t(Size) + 274 * (size_t(Size) / 0x40000 + 1));
    const intptr_t N = OodleLZ_Compress(9, Raw.data(), Size, Out.data() + 4, Level, nullptr, nullptr, nullptr);
    if (N <= 0) return 1;
    for (int i = 0; i < 4; ++i) Out[size_t(i)] = uint8_t(uint32_t(Size) >> (8 * i));
    const std::string Path = std::string(argv[1]) + "/stream-" + std::to_string(Size) + "-" + std::to_string(Level);
    FILE* F = std::fopen(Path.c_str(), "wb");
    if (!F || std::fwrite(Out.data(), 1, size_t(N) + 4, F) != size_t(N) + 4 || std::fclose(F) != 0) return 1;
    ++Made;
  }
  return 0;
}
