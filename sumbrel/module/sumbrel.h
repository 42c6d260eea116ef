// The public interface of libsumbrel.so and sumbrel.dll, for programs that host the plug-in,
// in C++ or (the part at the end) in C.
//
// A host loads the library, calls GetModule once and drives the returned object: one
// ProcessFile call compresses one MP3 file into a compressed file (extension "sbk") or
// restores the MP3 file from it, byte for byte. Only one ProcessFile may run at a time in a
// process, across all module objects: the code tables it builds are process-wide.
#pragma once
#ifdef __cplusplus
#include <cstdint>
#include <memory>

// The first word of a compressed file, little-endian: model-coded or stored form, of format 1
// (what GetModule's modules write) or format 2 (see GetModuleOfFormat). Format 1's two differ in
// one bit; format 2's differ from each other and from format 1's in three or more, so that no
// flipped bit turns a checked file into an unchecked one.
constexpr uint32_t MODEL_MAGIC = 0x01050405;
constexpr uint32_t STORED_MAGIC = 0x00050405;
constexpr uint32_t MODEL2_MAGIC = 0x32050405;
constexpr uint32_t STORED2_MAGIC = 0x53050405;

// The host's object. The library calls only OnProgress, the first virtual operation, on the
// thread that called ProcessFile: after every coded frame and once more at a successful end.
class ProgressListener {
 public:
  virtual void OnProgress(int totalBytes, int doneBytes, int codedBytes) = 0;

 protected:
  ~ProgressListener() = default;
};

// The virtual operations in this order are the binary interface with the host, the same on
// every system; on 32-bit Windows they are thiscall and the table is laid out as an MSVC-built
// host expects it. A host written in C calls slot N of the table that the object's first word
// points to.
class Module {
 public:
  // Slot 0, in the form of MSVC's deleting destructor (one slot, not the two that a C++
  // `virtual ~Module()` takes in GCC's layout): ends the object and, when bit 0 of flags is
  // set, frees its memory, which belongs to the library's allocator. Returns the object's
  // address. Not while ProcessFile runs.
  virtual void* Destroy(unsigned flags) = 0;
  // decode 0 compresses the MP3 file `input` into `output`; any other value restores.
  // 0 when the output is complete; 1 otherwise, and then no new output file is left and an
  // existing one is unchanged (the output is written beside it and renamed at the end).
  // Restoring gives 1 for a file that starts with neither magic word, and for a model-coded
  // file found damaged (its coded stream runs past the end of the file, or holds more frames
  // than its header records). 1 without touching any file while another job runs in the
  // process, or when input and output are the same file.
  virtual int ProcessFile(const char* input, const char* output, int decode) = 0;
  // A nonzero value stops a running job after its current step (from any thread). It is
  // not cleared by the library: set it back to 0 before the next job.
  virtual void SetCancel(int value) = 0;
  virtual int GetCancel() = 0;
  // Share of the original size a compressed file saves, in percent: -1000 when it cannot be
  // opened, -2 for a model-coded file without an original length (0, or too short to hold
  // one), 0 when not compressed.
  virtual double GetSavedPercent(const char* path) = 0;
  // Bytes a compressed file saves: -1000 when it cannot be opened, -4 for format 1's stored
  // form (format 2's records its length, so it gives the true count), 0 when not compressed
  // or too short to hold the original length.
  virtual int GetSavedBytes(const char* path) = 0;
  // 1 for a readable file named *.mp3, or named *.sbk that starts with a magic word.
  virtual int IsSupported(const char* path) = 0;

 protected:
  // Hosts end a module through slot 0 (DestroyModule, ModulePtr), never with delete.
  ~Module() = default;
};

// Ends a module that GetModule returned, memory included; null is allowed.
inline void DestroyModule(Module* module) {
  if (module) module->Destroy(1);
}
struct ModuleDeleter {
  void operator()(Module* module) const { DestroyModule(module); }
};
// Owns a module for a C++ host.
using ModulePtr = std::unique_ptr<Module, ModuleDeleter>;

// `listener` is the address of a ProgressListener, or 0. Null when out of memory.
#ifdef _WIN32
#define SUMBREL_EXPORT __declspec(dllexport)
#else
#define SUMBREL_EXPORT __attribute__((visibility("default")))
#endif
extern "C" SUMBREL_EXPORT Module* GetModule(intptr_t listener);
using GetModuleFunction = Module* (*)(intptr_t listener);

// The added entry point, for hosts that want format 2: a module like GetModule's whose
// ProcessFile compresses into `format` (1 or 2; null for any other value). Format 2 codes with
// a stronger model and records the MP3 file's length (64-bit) and CRC-32C; a restore that does
// not give back exactly that length and checksum fails, leaving nothing. Both kinds of module
// restore both formats, and the queries take both.
// Its ProcessFile also takes decode 2, a check: the file is restored through every check
// (format 2: its length and checksum) without writing anything; `output` is ignored and may
// be null. 0 when the file restores whole. OnProgress's last call gives the restored length.
extern "C" SUMBREL_EXPORT Module* GetModuleOfFormat(intptr_t listener, int format);
using GetModuleOfFormatFunction = Module* (*)(intptr_t listener, int format);

#else  // C hosts

#include <stdint.h>

// Every operation takes the object first. On 32-bit Windows the calls are thiscall (the
// object in ECX, the callee pops the arguments); MSVC's C compiler has no thiscall, but
// __fastcall with an unused int second argument is the same call there.
#if defined(_WIN32) && defined(__i386__) && defined(__GNUC__)
#define SUMBREL_THISCALL __attribute__((thiscall))
#else
#define SUMBREL_THISCALL
#endif

#define SUMBREL_MODEL_MAGIC 0x01050405u
#define SUMBREL_STORED_MAGIC 0x00050405u
#define SUMBREL_MODEL2_MAGIC 0x32050405u
#define SUMBREL_STORED2_MAGIC 0x53050405u

typedef struct SumbrelModule SumbrelModule;
typedef struct SumbrelListener SumbrelListener;

// The host's listener: a pointer to its table of one operation, then whatever it likes.
typedef struct SumbrelListenerTable {
  void(SUMBREL_THISCALL* OnProgress)(SumbrelListener* self, int totalBytes, int doneBytes,
                                     int codedBytes);
} SumbrelListenerTable;
struct SumbrelListener {
  const SumbrelListenerTable* table;
};

// The module's table, slot by slot as the C++ class above declares it.
typedef struct SumbrelModuleTable {
  void*(SUMBREL_THISCALL* Destroy)(SumbrelModule* self, unsigned flags);
  int(SUMBREL_THISCALL* ProcessFile)(SumbrelModule* self, const char* input, const char* output,
                                     int decode);
  void(SUMBREL_THISCALL* SetCancel)(SumbrelModule* self, int value);
  int(SUMBREL_THISCALL* GetCancel)(SumbrelModule* self);
  double(SUMBREL_THISCALL* GetSavedPercent)(SumbrelModule* self, const char* path);
  int(SUMBREL_THISCALL* GetSavedBytes)(SumbrelModule* self, const char* path);
  int(SUMBREL_THISCALL* IsSupported)(SumbrelModule* self, const char* path);
} SumbrelModuleTable;

// The object: its table, then the progress of the current or last job, which the host may
// read between its own calls (cancel only through SetCancel and GetCancel).
struct SumbrelModule {
  const SumbrelModuleTable* table;
  int32_t totalBytes, doneBytes, codedBytes, frames, reserved;
  uint32_t elapsedMs;
  int32_t cancel;
  SumbrelListener* listener;
};

// The type of the export GetModule: the listener's address, or 0. Null when out of memory.
typedef SumbrelModule* (*SumbrelGetModule)(intptr_t listener);
// The type of the export GetModuleOfFormat (see the C++ part): format 1 or 2.
typedef SumbrelModule* (*SumbrelGetModuleOfFormat)(intptr_t listener, int format);

// Ends a module, memory included.
static inline void SumbrelDestroyModule(SumbrelModule* module) {
  if (module) module->table->Destroy(module, 1);
}

#endif
