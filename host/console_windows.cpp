#include <windows.h>

#include <vector>

#include "host_os.h"
#include "whole_transfers.h"

// cmd.exe hands wildcards over as they are typed, so the runtime expands them (as a POSIX
// shell would) before main sees the arguments.
extern "C" {
int _dowildcard = -1;
}

namespace HostOs {

namespace {

HANDLE Handle(Stream stream) {
  return GetStdHandle(stream == Stream::Input    ? STD_INPUT_HANDLE
                      : stream == Stream::Output ? STD_OUTPUT_HANDLE
                                                 : STD_ERROR_HANDLE);
}

// Copies all of `from` to `to`; false with the reason on a failure. A pipe whose writer has
// gone is at its end.
bool CopyAll(HANDLE from, HANDLE to, std::string& error) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(from, buffer.data(), DWORD(buffer.size()), &n, nullptr)) {
      if (GetLastError() == ERROR_BROKEN_PIPE) return true;
      error = g_interrupted ? "interrupted" : "read failed: " + LastReason();
      return false;
    }
    if (n == 0) return true;
    if (g_interrupted) {
      error = "interrupted";
      return false;
    }
    if (!platform::WriteAll(to, buffer.data(), n)) {
      error = g_interrupted ? "interrupted" : "write failed: " + LastReason();
      return false;
    }
  }
}

BOOL WINAPI OnControl(DWORD event) {
  g_interrupted = 1;
  // For Ctrl-C and Ctrl-Break the command goes on and cleans up. A closed console ends the
  // process when this returns, so it waits a little for the jobs to remove their files.
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) Sleep(3000);
  return TRUE;
}

}  // namespace

bool IsTerminal(Stream stream) {
  DWORD mode = 0;
  return GetConsoleMode(Handle(stream), &mode) != 0;
}

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(Handle(Stream::Error), &info)) {
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    if (columns >= 40) return columns;
  }
  return 80;
}

// A console may not take escape sequences, so the rest of the old line is overwritten with
// spaces.
void ShowStatusLine(const std::string& line) {
  const size_t width = size_t(TerminalColumns() - 1);
  std::string text = "\r" + line;
  if (line.size() < width) text += std::string(width - line.size(), ' ');
  text += "\r" + line;
  platform::WriteAll(Handle(Stream::Error), text.data(), text.size());
}

void ClearStatusLine() {
  const std::string text = "\r" + std::string(size_t(TerminalColumns() - 1), ' ') + "\r";
  platform::WriteAll(Handle(Stream::Error), text.data(), text.size());
}

bool SpoolStandardInput(const std::string& path, std::string& error) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "cannot spool standard input: " + LastReason();
    return false;
  }
  const bool ok = CopyAll(Handle(Stream::Input), file, error);
  return CloseHandle(file) && ok;
}

bool SendToStandardOutput(const std::string& path, std::string& error) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "cannot read the output back: " + LastReason();
    return false;
  }
  std::fflush(stdout);
  const bool ok = CopyAll(file, Handle(Stream::Output), error);
  CloseHandle(file);
  return ok;
}

void CatchInterrupts() { SetConsoleCtrlHandler(OnControl, TRUE); }

}  // namespace HostOs
