#include "OodleDLL.h"

#include <sys/stat.h>
#include <unistd.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace OodleDLL {

bool DLLLoaded = false;
void* DLLHandle = nullptr;
TOodleLZ_Compress OodleLZ_Compress = nullptr;
TOodleLZ_Decompress OodleLZ_Decompress = nullptr;

namespace {

#ifdef _WIN32
const char* const Arch = "win64";
const char* const Extension = ".dll";
#else
const char* const Arch = "linux64";
const char* const Extension = ".so";
#endif

bool FileExists(const std::string& Path) {
  struct stat Info;
  return ::stat(Path.c_str(), &Info) == 0 && S_ISREG(Info.st_mode);
}

void* LoadLibraryFile(const std::string& Path) {
#ifdef _WIN32
  return reinterpret_cast<void*>(LoadLibraryA(Path.c_str()));
#else
  return dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

void* FindEntry(const char* Name) {
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(DLLHandle), Name));
#else
  return dlsym(DLLHandle, Name);
#endif
}

// Loaded when the program starts and freed when it ends, before anything else
// of orvane can call the library.
struct AutoLoad {
  AutoLoad() { Init(); }
  ~AutoLoad() { Deinit(); }
} TheAutoLoad;

}  // namespace

std::string ProgramDirectory() {
#ifdef _WIN32
  char Path[MAX_PATH];
  const DWORD N = GetModuleFileNameA(nullptr, Path, MAX_PATH);
  std::string Full(Path, N);
  return Full.substr(0, Full.find_last_of("\\/") + 1);
#else
  std::string Full(4096, '\0');
  const ssize_t N = ::readlink("/proc/self/exe", Full.data(), Full.size());
  if (N <= 0) return "./";
  Full.resize(static_cast<size_t>(N));
  return Full.substr(0, Full.find_last_of('/') + 1);
#endif
}

void LoadFrom(const std::string& Directory) {
  if (DLLLoaded) return;
  std::string Path;
  for (const char* Version : {"oo2core_4_", "oo2core_5_", "oo2core_6_"}) {
    const std::string Candidate = Directory + Version + Arch + Extension;
    if (FileExists(Candidate)) {
      Path = Candidate;
      break;
    }
  }
  if (Path.empty()) Path = Directory + "oo2core_7_" + Arch + Extension;

  DLLHandle = LoadLibraryFile(Path);
  DLLLoaded = DLLHandle != nullptr;
  if (DLLLoaded) {
    OodleLZ_Compress = reinterpret_cast<TOodleLZ_Compress>(FindEntry("OodleLZ_Compress"));
    OodleLZ_Decompress = reinterpret_cast<TOodleLZ_Decompress>(FindEntry("OodleLZ_Decompress"));
  }
}

void Init() { LoadFrom(ProgramDirectory()); }

void Deinit() {
  if (!DLLLoaded) return;
  OodleLZ_Compress = nullptr;
  OodleLZ_Decompress = nullptr;
#ifdef _WIN32
  FreeLibrary(static_cast<HMODULE>(DLLHandle));
#else
  dlclose(DLLHandle);
#endif
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
