#include "OodleDLL.h"

#include "os/Os.h"
#include "library.h"
#include "program_path.h"

namespace OodleDLL {

bool DLLLoaded = false;
void* DLLHandle = nullptr;
TOodleLZ_Compress OodleLZ_Compress = nullptr;
TOodleLZ_Decompress OodleLZ_Decompress = nullptr;

namespace {

// Loaded when the program starts and freed when it ends, before anything else
// of orvane can call the library.
struct AutoLoad {
  AutoLoad() { Init(); }
  ~AutoLoad() { Deinit(); }
} TheAutoLoad;

}  // namespace

std::string ProgramDirectory() {
  std::string Folder, Error;
  // Without it, the current folder is the one place left to look.
  return platform::ProgramFolder(Folder, Error) ? Folder : "./";
}

void LoadFrom(const std::string& Directory) {
  if (DLLLoaded) return;
  std::string Path;
  for (const char* Version : {"oo2core_4_", "oo2core_5_", "oo2core_6_"}) {
    const std::string Candidate = Directory + Version + Os::LibraryArch + platform::kLibraryExtension;
    if (Os::FileExists(Candidate)) {
      Path = Candidate;
      break;
    }
  }
  if (Path.empty()) Path = Directory + "oo2core_7_" + Os::LibraryArch + platform::kLibraryExtension;

  DLLHandle = platform::LoadLibraryFile(Path);
  DLLLoaded = DLLHandle != nullptr;
  if (DLLLoaded) {
    OodleLZ_Compress = reinterpret_cast<TOodleLZ_Compress>(platform::FindEntry(DLLHandle, "OodleLZ_Compress"));
    OodleLZ_Decompress = reinterpret_cast<TOodleLZ_Decompress>(platform::FindEntry(DLLHandle, "OodleLZ_Decompress"));
  }
}

void Init() { LoadFrom(ProgramDirectory()); }

void Deinit() {
  if (!DLLLoaded) return;
  OodleLZ_Compress = nullptr;
  OodleLZ_Decompress = nullptr;
  platform::FreeLibraryFile(DLLHandle);
  DLLHandle = nullptr;
  DLLLoaded = false;
}

int32_t OodleCompress(const void* Raw, int32_t RawLen, void* Dst, int32_t Level) {
  if (OodleLZ_Compress == nullptr) throw EOodleMissing();
  return static_cast<int32_t>(OodleLZ_Compress(OodleCodec, Raw, RawLen, Dst, Level, nullptr, nullptr, nullptr));
}

int32_t OodleDecompress(const void* Comp, int32_t CompLen, void* Raw, int32_t RawLen) {
  if (OodleLZ_Decompress == nullptr) throw EOodleMissing();
  return static_cast<int32_t>(OodleLZ_Decompress(Comp, CompLen, Raw, RawLen, 0, 0, 0, nullptr, 0, nullptr,
                                                 nullptr, nullptr, 0, 3));
}

}  // namespace OodleDLL
