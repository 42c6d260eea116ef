// Where the running program's file is, so that a program finds what is installed beside it
// (orvane its codec library, the sumbrel command its plug-in) wherever it was called from.
#pragma once
#include <string>

namespace platform {

// The program file's full name; false with the reason in `error` when the system cannot tell.
bool ProgramPath(std::string& path, std::string& error);
// Its folder, ending in the separator.
bool ProgramFolder(std::string& folder, std::string& error);

}  // namespace platform
