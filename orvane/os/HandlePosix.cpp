#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "Os.h"

namespace Os {

void UseBinaryStandardHandles() {}

bool IsTerminal(int Handle) { return ::isatty(Handle) == 1; }

void WidenPipe(int Handle, int32_t Size) {
#ifdef F_SETPIPE_SZ
  // The default 64 KiB of a pipe costs a switch between the processes on
  // either side for every 64 KiB; larger pipes move whole buffers at once.
  // Descriptors that are not pipes refuse, which is fine.
  (void)::fcntl(Handle, F_SETPIPE_SZ, Size);
#else
  (void)Handle;
  (void)Size;
#endif
}

int32_t ReadHandle(int Handle, void* Buffer, int32_t Count) {
  for (;;) {
    const ssize_t N = ::read(Handle, Buffer, static_cast<size_t>(Count));
    if (N >= 0 || errno != EINTR) return static_cast<int32_t>(N);
  }
}

int32_t WriteHandle(int Handle, const void* Buffer, int32_t Count) {
  for (;;) {
    const ssize_t N = ::write(Handle, Buffer, static_cast<size_t>(Count));
    if (N >= 0 || errno != EINTR) return static_cast<int32_t>(N);
  }
}

int64_t SeekHandle(int Handle, int64_t Offset, int Origin) { return ::lseek(Handle, Offset, Origin); }

int TruncateHandle(int Handle, int64_t Size) { return ::ftruncate(Handle, Size); }

}  // namespace Os
