/* A C host built on sumbrel.h's C part: header_host DLL IN OUT compresses IN into OUT and
 * prints the result, the frames counted and the listener's calls. */
#include <windows.h>
#include <stdio.h>

#include "sumbrel.h"

struct Host {
  SumbrelListener base;
  int calls;
};

static void SUMBREL_THISCALL OnProgress(SumbrelListener *self, int total, int done, int coded) {
  (void)total, (void)done, (void)coded;
  ((struct Host *)self)->calls++;
}

int main(int argc, char **argv) {
  static const SumbrelListenerTable table = {OnProgress};
  if (argc != 4) return 2;
  HMODULE dll = LoadLibraryA(argv[1]);
  SumbrelGetModule getModule = dll ? (SumbrelGetModule)(void *)GetProcAddress(dll, "GetModule") : NULL;
  struct Host host = {{&table}, 0};
  SumbrelModule *module = getModule ? getModule((intptr_t)&host.base) : NULL;
  if (!module) return 1;
  const int result = module->table->ProcessFile(module, argv[2], argv[3], 0);
  printf("result=%d frames=%d calls=%d listener=%s\n", result, module->frames, host.calls,
         module->listener == &host.base ? "ok" : "wrong");
  SumbrelDestroyModule(module);
  FreeLibrary(dll);
  return 0;
}
