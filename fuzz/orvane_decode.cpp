// `orvane d` on a container in memory: the whole decode driver with its reader,
// writer and workers. Every input is decoded once with one worker and once with
// every processor; both must fail, or both give the same bytes.
#include <sched.h>

#include <cstdint>
#include <exception>
#include <string>

#include "Decoder.h"
#include "MemoryStreams.h"
#include "fuzz_check.h"

namespace {

// The driver starts one worker per processor this thread may run on, so the
// worker count is chosen through the thread's affinity.
class TLimitProcessors {
 public:
  explicit TLimitProcessors(int Count) {
    FSaved = sched_getaffinity(0, sizeof(FMask), &FMask) == 0;
    if (!FSaved) return;
    cpu_set_t Fewer;
    CPU_ZERO(&Fewer);
    for (int Cpu = 0, Kept = 0; Cpu < CPU_SETSIZE && Kept < Count; ++Cpu)
      if (CPU_ISSET(Cpu, &FMask)) {
        CPU_SET(Cpu, &Fewer);
        ++Kept;
      }
    sched_setaffinity(0, sizeof(Fewer), &Fewer);
  }
  ~TLimitProcessors() {
    if (FSaved) sched_setaffinity(0, sizeof(FMask), &FMask);
  }
  TLimitProcessors(const TLimitProcessors&) = delete;
  TLimitProcessors& operator=(const TLimitProcessors&) = delete;

 private:
  cpu_set_t FMask;
  bool FSaved;
};

bool DecodeWith(int Processors, const uint8_t* Data, size_t Size, std::string& Result) {
  TLimitProcessors Limit(Processors);
  TMemoryStream In, Out;
  In.WriteBuffer(Data, int64_t(Size));
  In.SetPosition(0);
  try {
    Decode(In, Out);
  } catch (const std::exception&) {
    return false;
  }
  Result.assign(reinterpret_cast<const char*>(Out.Memory()), size_t(Out.Size()));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string One, Several;
  const bool OneOk = DecodeWith(1, Data, Size, One);
  const bool SeveralOk = DecodeWith(CPU_SETSIZE, Data, Size, Several);
  FUZZ_CHECK(OneOk == SeveralOk, "one worker and several disagree on success");
  FUZZ_CHECK(One == Several, "one worker and several give different bytes");
  return 0;
}
