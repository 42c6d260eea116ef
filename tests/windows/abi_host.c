/* A host of sumbrel.dll written in C from the binary interface alone, as an
 * MSVC-built host sees it: GetModule found by name (cdecl, one 32-bit int),
 * every operation called by its slot number with thiscall, the members read at
 * their offsets, a listener whose table has one thiscall slot, and the object
 * ended through slot 0 with flags 1.
 *
 *   abi_host DLL compress|restore IN OUT   job; prints the result and members
 *   abi_host DLL cancel IN OUT             job with cancel set beforehand
 *   abi_host DLL query PATH                IsSupported, GetSavedPercent, GetSavedBytes
 */
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef void *(__thiscall *DestroyFn)(void *self, unsigned flags);
typedef int(__thiscall *ProcessFileFn)(void *self, const char *in, const char *out, int decode);
typedef void(__thiscall *SetCancelFn)(void *self, int value);
typedef int(__thiscall *GetCancelFn)(void *self);
typedef double(__thiscall *GetSavedPercentFn)(void *self, const char *path);
typedef int(__thiscall *GetSavedBytesFn)(void *self, const char *path);
typedef int(__thiscall *IsSupportedFn)(void *self, const char *path);
typedef void *(__cdecl *GetModuleFn)(int listener);

struct Listener {
  void *const *table;
  int calls, total, done, coded;
};

static void __thiscall OnProgress(struct Listener *self, int total, int done, int coded) {
  self->calls++;
  self->total = total;
  self->done = done;
  self->coded = coded;
}

static void *const ListenerTable[1] = {(void *)OnProgress};

#define SLOT(object, n) ((*(void *const **)(object))[n])

int main(int argc, char **argv) {
  if (argc < 4) return 2;
  HMODULE dll = LoadLibraryA(argv[1]);
  if (!dll) {
    printf("cannot load %s\n", argv[1]);
    return 1;
  }
  GetModuleFn getModule = (GetModuleFn)(void *)GetProcAddress(dll, "GetModule");
  if (!getModule) {
    printf("no export GetModule\n");
    return 1;
  }
  struct Listener listener = {ListenerTable, 0, 0, 0, 0};
  void *module = getModule((int)(intptr_t)&listener);
  if (!module) return 1;
  const int32_t *member = (const int32_t *)module;
  /* A fresh object: every member 0 but the listener, at offset 32. */
  for (int i = 1; i <= 7; i++)
    if (member[i] != 0) printf("fresh member at offset %d is %d\n", 4 * i, member[i]);
  if (member[8] != (int32_t)(intptr_t)&listener) printf("listener member is wrong\n");

  const char *mode = argv[2];
  int status = 0;
  if (strcmp(mode, "query") == 0) {
    const int supported = ((IsSupportedFn)SLOT(module, 6))(module, argv[3]);
    const double percent = ((GetSavedPercentFn)SLOT(module, 4))(module, argv[3]);
    const int bytes = ((GetSavedBytesFn)SLOT(module, 5))(module, argv[3]);
    printf("supported=%d percent=%.3f bytes=%d\n", supported, percent, bytes);
  } else if (argc == 5) {
    if (strcmp(mode, "cancel") == 0) ((SetCancelFn)SLOT(module, 2))(module, 1);
    const int decode = strcmp(mode, "restore") == 0;
    const int result = ((ProcessFileFn)SLOT(module, 1))(module, argv[3], argv[4], decode);
    const int cancel = ((GetCancelFn)SLOT(module, 3))(module);
    printf("result=%d total=%d done=%d coded=%d frames=%d elapsed=%u cancel=%d", result, member[1],
           member[2], member[3], member[4], (unsigned)member[6], cancel);
    printf(" calls=%d last=%d,%d,%d\n", listener.calls, listener.total, listener.done, listener.coded);
    if (member[8] != (int32_t)(intptr_t)&listener) printf("listener member changed\n");
  } else {
    status = 2;
  }
  ((DestroyFn)SLOT(module, 0))(module, 1);
  FreeLibrary(dll);
  return status;
}
