#include <windows.h>

#include "system_error.h"

namespace platform {

std::string ErrorText(unsigned long code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = n && text ? std::string(text, n) : "";
  if (text) LocalFree(text);
  // Messages end in ".\r\n"; ours go on after a colon.
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.' ||
                             reason.back() == ' '))
    reason.pop_back();
  return reason.empty() ? "error " + std::to_string(code) : reason;
}

std::string LastErrorText() { return ErrorText(GetLastError()); }

}  // namespace platform
