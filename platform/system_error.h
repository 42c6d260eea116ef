// The system's own words for an error: errno's on POSIX, GetLastError's on Windows.
#pragma once
#include <string>

namespace platform {

std::string ErrorText(unsigned long code);
// The calling thread's last error.
std::string LastErrorText();

}  // namespace platform
