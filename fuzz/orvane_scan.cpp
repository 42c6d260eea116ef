// `orvane e`'s scan over any input: stream detection, size probing and the
// level search, driven block by block as the encoder drives them. Every stream
// kept must be one that decode rebuilds exactly: its contents, compressed at
// the level found, give back the bytes of the input.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "DataStore.h"
#include "Encoder.h"
#include "LevelSearch.h"
#include "OodleDLL.h"
#include "ProgramState.h"
#include "fuzz_check.h"

namespace {

void CheckRows(const uint8_t* Window, int32_t W) {
  std::vector<uint8_t> Buffer;
  for (int32_t Row = 0; Row < Info->Count(); ++Row) {
    const int64_t At = Info->Get(Row, EncWindowOffset);
    const int64_t Packed = Info->Get(Row, EncPackedLength);
    const int64_t Plain = Info->Get(Row, EncPlainLength);
    const int64_t Contents = Info->Get(Row, EncStoreOffset);
    FUZZ_CHECK(At + Packed <= W && Packed > 0, "a stream outside the window");
    FUZZ_CHECK(Contents + Plain <= Store->Size(), "contents outside Store");
    const int32_t Lvl = int32_t(Info->Get(Row, EncLevel));
    if (Lvl == 0) continue;
    Buffer.assign(size_t(OodleDLL::CompressedBufferSize(Plain)), 0);
    const int32_t Got = OodleDLL::OodleCompress(Store->Memory() + Contents, int32_t(Plain), Buffer.data(), Lvl);
    FUZZ_CHECK(Got == Packed && std::memcmp(Buffer.data(), Window + At, size_t(Packed)) == 0,
               "a kept stream does not come back at its level");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TMemoryStream In, Out;
  In.WriteBuffer(Data, int64_t(Size));
  In.SetPosition(0);
  TStateGuard Guard;
  BeginMode(In, Out, EncInfCount);
  // One block holds the whole input: each block may spend a fixed allowance
  // of probe work, so small blocks would only multiply it.
  const int32_t BlockSize = int32_t(std::max<size_t>(Size, 1));
  DS = std::make_unique<TDataStore>(In, true, 1, BlockSize);
  while (!DS->Done()) {
    DS->Load();
    TMemoryStreamEx& Window = DS->Slot(0);
    const int32_t W = int32_t(Window.Size());
    ScanBlock(Window.Memory(), W, std::min(W, BlockSize));
    if (Info->Count() > 0) RunWorkers(Compress);
    CheckRows(Window.Memory(), W);
    Store->SetPosition(0);
    Info->Reset();
  }
  return 0;
}
