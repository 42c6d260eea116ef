// The plug-in's module, linked in whole, for the 64-bit tree, whose wine runs here when the
// 32-bit one cannot: `format_host FORMAT DECODE INPUT OUTPUT` runs one job of a module from
// GetModuleOfFormat and prints its result. It shows that the models, integers only, code the
// same bytes on Windows as on Linux.
#include <cstdio>
#include <cstdlib>

#include "module/sumbrel.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: format_host FORMAT DECODE INPUT OUTPUT\n");
    return 2;
  }
  ModulePtr module(GetModuleOfFormat(0, std::atoi(argv[1])));
  if (!module) return 2;
  const int result = module->ProcessFile(argv[3], argv[4], std::atoi(argv[2]));
  std::printf("result=%d\n", result);
  return result;
}
