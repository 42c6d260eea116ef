#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "Os.h"

namespace Os {

void UseBinaryStandardHandles() {
  // Text mode would turn LF into CR LF on output, drop CR before LF and stop
  // at the first ^Z on input: every container would be damaged.
  _setmode(0, _O_BINARY);
  _setmode(1, _O_BINARY);
}

bool IsTerminal(int Handle) {
  // _isatty is true for every character device, NUL among them; only a
  // console accepts GetConsoleMode.
  DWORD Mode;
  const intptr_t Os = _get_osfhandle(Handle);
  return Os != -1 && GetConsoleMode(reinterpret_cast<HANDLE>(Os), &Mode) != 0;
}

// Windows pipes take their size when they are created, by whoever creates them.
void WidenPipe(int, int32_t) {}

int32_t ReadHandle(int Handle, void* Buffer, int32_t Count) {
  return _read(Handle, Buffer, static_cast<unsigned>(Count));
}

int32_t WriteHandle(int Handle, const void* Buffer, int32_t Count) {
  return _write(Handle, Buffer, static_cast<unsigned>(Count));
}

int64_t SeekHandle(int Handle, int64_t Offset, int Origin) { return _lseeki64(Handle, Offset, Origin); }

int TruncateHandle(int Handle, int64_t Size) {
  // _chsize_s returns its error rather than setting errno, which the callers report.
  const errno_t Error = _chsize_s(Handle, Size);
  if (Error == 0) return 0;
  errno = Error;
  return -1;
}

}  // namespace Os
