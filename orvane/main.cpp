// orvane e | orvane d: recompresses the codec streams inside any input.
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "Decoder.h"
#include "Encoder.h"
#include "OodleDLL.h"
#include "os/Os.h"

namespace {

void PrintUsage() {
  std::fputs(
      "usage: orvane e <input >container   keep the codec streams of the input as their contents\n"
      "       orvane d <container >input   rebuild the input from a container\n",
      stderr);
}

}  // namespace

int main(int argc, char** argv) {
  Os::UseBinaryStandardHandles();
  // A wrong call still ends with exit code 0, as callers of the original
  // program may rely on; the usage tells a person what went wrong.
  const std::string Mode = argc == 2 ? argv[1] : "";
  if (Mode != "e" && Mode != "d") {
    PrintUsage();
    return 0;
  }
  try {
    if (Mode == "e") {
      // The container stays valid without the codec, but it keeps no stream,
      // which the user would otherwise only find out from its size.
      if (OodleDLL::OodleLZ_Compress == nullptr || OodleDLL::OodleLZ_Decompress == nullptr)
        std::fprintf(stderr, "orvane: warning: no codec library in %s, no stream is kept\n",
                     OodleDLL::ProgramDirectory().c_str());
      Encode();
    } else {
      Decode();
    }
  } catch (const std::bad_alloc&) {
    std::fputs("orvane: out of memory\n", stderr);
    return 1;
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "orvane: %s\n", Error.what());
    return 1;
  }
  return 0;
}
