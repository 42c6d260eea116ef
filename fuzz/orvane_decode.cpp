// `orvane d` on a container in memory: the whole decode driver with its reader,
// writer and workers. Every input is decoded once with one worker and once with
// every processor; both must fail, or both give the same bytes. A success that
// claims to be verified must be: the container's checksum and the trailer's
// length and CRC-32C of the input, read apart from the decoder, hold for it.
#include <sched.h>

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "crc32.h"
#include "Decoder.h"
#include "MemoryStreams.h"
#include "driver_samples.h"
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

bool DecodeWith(int Processors, const uint8_t* Data, size_t Size, std::string& Result, bool& Verified) {
  TLimitProcessors Limit(Processors);
  TMemoryStream In, Out;
  In.WriteBuffer(Data, int64_t(Size));
  In.SetPosition(0);
  try {
    Verified = Decode(In, Out);
  } catch (const std::exception&) {
    return false;
  }
  Result.assign(reinterpret_cast<const char*>(Out.Memory()), size_t(Out.Size()));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string One, Several;
  bool OneVerified = false, SeveralVerified = false;
  const bool OneOk = DecodeWith(1, Data, Size, One, OneVerified);
  const bool SeveralOk = DecodeWith(CPU_SETSIZE, Data, Size, Several, SeveralVerified);
  FUZZ_CHECK(OneOk == SeveralOk, "one worker and several disagree on success");
  FUZZ_CHECK(One == Several, "one worker and several give different bytes");
  if (!OneOk) return 0;
  FUZZ_CHECK(OneVerified == SeveralVerified, "one worker and several disagree on the proof");
  std::vector<samples::Record> Records;
  try {
    Records = samples::ParseContainer(std::string(reinterpret_cast<const char*>(Data), Size));
  } catch (const std::exception&) {
    FUZZ_CHECK(false, "decoded a container that is not well-formed");
  }
  const samples::Record& End = Records.back();
  FUZZ_CHECK(End.checked == OneVerified, "verified a container without checksums, or not one with them");
  if (End.checked) {
    const auto* Out = reinterpret_cast<const uint8_t*>(One.data());
    FUZZ_CHECK(End.inputLength == static_cast<int64_t>(One.size()) && End.inputCrc == Crc32C(Out, One.size()),
               "success with an output that does not match the input's checksum");
    FUZZ_CHECK(End.checksum == Crc32C(Data, Size - 4), "success with a container whose checksum does not hold");
  }
  return 0;
}
