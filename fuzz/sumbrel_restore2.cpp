// Format 2 on any bytes named .mp3: the file the module writes restores to exactly those
// bytes, while that file cut short at one place, or with one bit flipped at another (both
// taken from the input), fails to restore, in a job and in a check, and leaves no output.
// Format 2 records the MP3 file's length and CRC-32C and the coded part's CRC-32C, so no
// damage may restore.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "fuzz_check.h"
#include "memory_restore.h"
#include "temp_files.h"
#include "module/sumbrel.h"

namespace {

using fuzz_restore::Bytes;

using fuzz_files::Exists;
using fuzz_files::In;
using fuzz_files::Read;
using fuzz_files::Write;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static ModulePtr Plugin(GetModuleOfFormat(0, 2));
  FUZZ_CHECK(Plugin != nullptr, "no module");
  if (Size == 0) return 0;  // empty files are not compressed
  const std::string Mp3 = In("any.mp3"), Coded = In("any.sbk"), Bad = In("bad.sbk"), Back = In("back.mp3");
  Write(Mp3, Data, Size);
  std::remove(Coded.c_str());
  std::remove(Back.c_str());
  if (Plugin->ProcessFile(Mp3.c_str(), Coded.c_str(), 0) != 0) {
    FUZZ_CHECK(!Exists(Coded), "a failed compression left its output");
    return 0;
  }
  const Bytes Good = Read(Coded);
  const uint32_t Magic = Good.size() >= 4 ? fuzz_restore::WordAt(Good.data()) : 0;
  FUZZ_CHECK(Magic == MODEL2_MAGIC || Magic == STORED2_MAGIC, "a format-2 module wrote another format");
  FUZZ_CHECK(Plugin->ProcessFile(Coded.c_str(), Back.c_str(), 1) == 0, "the compressed file did not restore");
  const Bytes Again = Read(Back);
  FUZZ_CHECK(Again == Bytes(Data, Data + Size), "the restored file differs from the input");

  // Cut and flip positions spread over the whole file, the header included.
  const uint64_t Choice = fuzz_restore::ChoiceFrom(Data, Size) * 0x9E3779B97F4A7C15ull;
  const size_t Cut = size_t(Choice % Good.size());
  const size_t Bit = size_t((Choice >> 32) % (8 * Good.size()));
  Bytes Flipped = Good;
  Flipped[Bit / 8] ^= uint8_t(1u << Bit % 8);
  const std::pair<Bytes, std::string> Damage[] = {{Bytes(Good.begin(), Good.begin() + Cut), "cut to " + std::to_string(Cut)},
                                                  {Flipped, "bit " + std::to_string(Bit) + " flipped"}};
  for (const auto& [Damaged, What] : Damage) {
    Write(Bad, Damaged.data(), Damaged.size());
    std::remove(Back.c_str());
    const int Restored = Plugin->ProcessFile(Bad.c_str(), Back.c_str(), 1);
    const int Checked = Plugin->ProcessFile(Bad.c_str(), nullptr, 2);
    // A finding names the damage, which the input alone does not show.
    if (Restored != 1 || Checked != 1) std::fprintf(stderr, "%s: restore %d, check %d\n", What.c_str(), Restored, Checked);
    FUZZ_CHECK(Restored == 1, "a damaged file restored");
    FUZZ_CHECK(!Exists(Back), "a failed restore left its output");
    FUZZ_CHECK(Checked == 1, "a damaged file passed its check");
  }
  return 0;
}
