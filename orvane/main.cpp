// orvane e | orvane d | orvane t: recompresses the codec streams inside any input.
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "Decoder.h"
#include "Encoder.h"
#include "OodleDLL.h"
#include "os/Os.h"

namespace {

// Exit codes, as compressors use them.
constexpr int Success = 0;
constexpr int Failure = 1;
constexpr int WrongUse = 2;

void PrintUsage(std::FILE* To) {
  std::fputs(
      "usage: orvane e <input >container   keep the codec streams of the input as their contents\n"
      "       orvane d <container >input   rebuild the input and check it against the container\n"
      "       orvane t <container          rebuild the input without writing it, and check it\n"
      "exit status: 0 success, 1 failure (damaged container, failed check, read or write error),\n"
      "             2 wrong use\n",
      To);
}

bool Refuse(const char* What) {
  std::fprintf(stderr, "orvane: %s (see orvane --help)\n", What);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Os::UseBinaryStandardHandles();
  const std::string Mode = argc == 2 ? argv[1] : "";
  if (Mode == "--help" || Mode == "-h") {
    PrintUsage(stdout);
    return std::fflush(stdout) == 0 ? Success : Failure;
  }
  // A wrong call must not look like success: `orvane -d <a.orv >a && rm a.orv`
  // would otherwise lose the data.
  if (Mode != "e" && Mode != "d" && Mode != "t") {
    PrintUsage(stderr);
    return WrongUse;
  }
  if (Mode != "t" && Os::IsTerminal(Os::StandardOutput) &&
      Refuse("refusing to write binary data to a terminal; redirect standard output"))
    return WrongUse;
  if (Mode != "e" && Os::IsTerminal(Os::StandardInput) &&
      Refuse("refusing to read a container from a terminal; redirect standard input"))
    return WrongUse;
  try {
    if (Mode == "e") {
      // The container stays valid without the codec, but it keeps no stream,
      // which the user would otherwise only find out from its size.
      if (OodleDLL::OodleLZ_Compress == nullptr || OodleDLL::OodleLZ_Decompress == nullptr)
        std::fprintf(stderr, "orvane: warning: no codec library in %s, no stream is kept\n",
                     OodleDLL::ProgramDirectory().c_str());
      Encode();
    } else if (!(Mode == "d" ? Decode() : Test())) {
      std::fputs("orvane: warning: the container has no checksums (an older layout), so the rebuilt input "
                 "could not be verified\n",
                 stderr);
    }
  } catch (const std::bad_alloc&) {
    std::fputs("orvane: out of memory\n", stderr);
    return Failure;
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "orvane: %s\n", Error.what());
    return Failure;
  }
  return Success;
}
