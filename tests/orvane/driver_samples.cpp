#include "driver_samples.h"

#include <cstring>
#include <random>
#include <stdexcept>

#include "OodleDLL.h"

namespace samples {

std::string RandomBytes(size_t Size, uint32_t Seed) {
  std::mt19937_64 Rng(Seed);
  std::string Out(Size, '\0');
  for (size_t i = 0; i < Size; i += 8) {
    const uint64_t V = Rng();
    std::memcpy(&Out[i], &V, std::min<size_t>(8, Size - i));
  }
  return Out;
}

std::string TextBytes(size_t Size, uint32_t Seed) {
  static const char* const Words[] = {"the ",    "quick ", "window ", "stream ", "brown ",
                                      "level ",  "fox ",   "jumps ",  "over ",   "lazy ",
                                      "record ", "dog. ",  "group ",  "block\n", "codec "};
  std::mt19937 Rng(Seed);
  std::string Out;
  Out.reserve(Size + 16);
  while (Out.size() < Size) {
    if (Rng() % 16 == 0) Out.push_back(static_cast<char>('0' + Rng() % 10));
    Out += Words[Rng() % 15];
  }
  Out.resize(Size);
  return Out;
}

std::string BinaryBytes(size_t Size, uint32_t Seed) {
  std::mt19937 Rng(Seed);
  std::string Out;
  Out.reserve(Size + 16);
  uint32_t Id = Rng() % 1000;
  while (Out.size() < Size) {
    const uint32_t Fields[4] = {Id++, static_cast<uint32_t>(Rng() % 16),
                                static_cast<uint32_t>(0x3F800000u + (Rng() % 4) * 0x100000u),
                                static_cast<uint32_t>(Rng() % 3)};
    Out.append(reinterpret_cast<const char*>(Fields), sizeof Fields);
  }
  Out.resize(Size);
  return Out;
}

std::string PackStream(const std::string& Contents, int Level) {
  std::string Out(2 * Contents.size() + 65536, '\0');
  const int32_t N = OodleDLL::OodleCompress(Contents.data(), static_cast<int32_t>(Contents.size()),
                                            Out.data(), Level);
  if (N <= 0) throw std::runtime_error("stand-in compression failed");
  Out.resize(static_cast<size_t>(N));
  return Out;
}

namespace {
void PutBE24(std::string& Out, uint32_t V) {
  Out.push_back(static_cast<char>(V >> 16));
  Out.push_back(static_cast<char>(V >> 8));
  Out.push_back(static_cast<char>(V));
}
}  // namespace

std::string UnreproducibleContents(size_t Length) {
  static const char Pattern[17] = "0123456789abcdef";
  std::string Out;
  for (size_t i = 0; i < Length; ++i) Out.push_back(Pattern[i % 16]);
  return Out;
}

// LZ4 sequences that copy the 16-byte pattern in 18-byte matches, where any
// real compressor takes one long match: valid, but never a codec's own output.
std::string UnreproducibleStream(size_t Length) {
  if (Length < 64 || Length > 262144) throw std::invalid_argument("length out of range");
  const std::string Contents = UnreproducibleContents(Length);
  std::string Payload;
  Payload += '\xFE';  // 15+ literals, match length 18
  Payload += '\x01';  // 16 literals
  Payload += Contents.substr(0, 16);
  Payload += std::string("\x10\x00", 2);  // offset 16
  size_t Pos = 16 + 18;
  while (Pos + 18 + 12 <= Length) {
    Payload += std::string("\x0E\x10\x00", 3);
    Pos += 18;
  }
  size_t Rest = Length - Pos;
  if (Rest < 15) {
    Payload += static_cast<char>(Rest << 4);
  } else {
    Payload += '\xF0';
    size_t Extra = Rest - 15;
    for (; Extra >= 255; Extra -= 255) Payload += '\xFF';
    Payload += static_cast<char>(Extra);
  }
  Payload += Contents.substr(Pos);

  std::string Stream = "\x8C\x0A";
  PutBE24(Stream, static_cast<uint32_t>(Payload.size() + 2));
  PutBE24(Stream, static_cast<uint32_t>(Payload.size()));
  return Stream + Payload;
}

std::string Archive(size_t Size, uint32_t Seed, size_t MinContents, size_t MaxContents,
                    uint64_t* Contents, std::vector<int>* LevelsUsed) {
  std::mt19937_64 Rng(Seed);
  std::string Out;
  Out.reserve(Size + MaxContents);
  uint64_t Plain = 0;
  static const int Levels[] = {1, 2, 4, 6, 9};
  while (Out.size() < Size) {
    // Raw bytes between streams: a little random data and a little text.
    const size_t RawLength = Rng() % 4096;
    Out += (Rng() % 2) ? RandomBytes(RawLength, static_cast<uint32_t>(Rng()))
                       : TextBytes(RawLength, static_cast<uint32_t>(Rng()));
    const size_t Length = MinContents + Rng() % (MaxContents - MinContents + 1);
    const std::string Data = (Rng() % 2) ? TextBytes(Length, static_cast<uint32_t>(Rng()))
                                         : BinaryBytes(Length, static_cast<uint32_t>(Rng()));
    const int Level = Levels[Rng() % 5];
    Out += PackStream(Data, Level);
    Plain += Length;
    if (LevelsUsed) LevelsUsed->push_back(Level);
  }
  if (Contents) *Contents = Plain;
  return Out;
}

namespace {

class Cursor {
 public:
  explicit Cursor(const std::string& Data) : Data_(Data) {}
  std::string Take(int64_t N) {
    if (N < 0 || static_cast<uint64_t>(N) > Data_.size() - Pos_)
      throw std::runtime_error("container ends inside a record");
    std::string Out = Data_.substr(Pos_, static_cast<size_t>(N));
    Pos_ += static_cast<size_t>(N);
    return Out;
  }
  int64_t Int(int Width) {
    const std::string Bytes = Take(Width);
    uint64_t V = 0;
    for (int i = 0; i < Width; ++i) V |= static_cast<uint64_t>(static_cast<uint8_t>(Bytes[i])) << (8 * i);
    return Width == 4 ? static_cast<int64_t>(static_cast<int32_t>(V)) : static_cast<int64_t>(V);
  }
  bool AtEnd() const { return Pos_ == Data_.size(); }

 private:
  const std::string& Data_;
  size_t Pos_ = 0;
};

}  // namespace

std::vector<Record> ParseContainer(const std::string& Container) {
  Cursor In(Container);
  std::vector<Record> Records;
  for (;;) {
    Record R;
    const int64_t N = In.Int(4);
    if (N < 0) {
      if (N != -1 && N != -2) throw std::runtime_error("end record is neither -1 nor -2");
      R.checked = N == -2;
      if (R.checked) {
        R.inputLength = In.Int(8);
        R.inputCrc = static_cast<uint32_t>(In.Int(4));
        const int64_t Streams = In.Int(8);
        if (Streams < 0 || Streams > static_cast<int64_t>(Container.size()))
          throw std::runtime_error("impossible stream count in the trailer");
        for (int64_t i = 0; i < Streams; ++i) R.streamCrcs.push_back(static_cast<uint32_t>(In.Int(4)));
        R.checksum = static_cast<uint32_t>(In.Int(4));
      }
      Records.push_back(R);
      break;
    }
    if (N == 0) {
      R.kind = Record::Raw;
      R.raw = In.Take(In.Int(4));
    } else {
      R.kind = Record::Group;
      for (int64_t i = 0; i < N; ++i) {
        R.levels.push_back(static_cast<int8_t>(In.Take(1)[0]));
        R.lengths.push_back(static_cast<int32_t>(In.Int(4)));
      }
      R.total = In.Int(8);
      R.contents = In.Take(R.total);
      for (int64_t i = 0; i <= N; ++i) R.runs.push_back(In.Take(In.Int(4)));
    }
    Records.push_back(std::move(R));
  }
  if (!In.AtEnd()) throw std::runtime_error("bytes after the end record");
  return Records;
}

}  // namespace samples
