#include <windows.h>
#include <process.h>

#include <cerrno>

#include "Os.h"

namespace Os {

struct TThread {
  HANDLE Handle;
  void (*Main)(void*);
  void* Arg;
};

namespace {
unsigned __stdcall Trampoline(void* Self) {
  auto* Thread = static_cast<TThread*>(Self);
  Thread->Main(Thread->Arg);
  return 0;
}
}  // namespace

void SleepMs(int32_t Milliseconds) { Sleep(static_cast<DWORD>(Milliseconds)); }

TThread* StartThread(void (*Main)(void*), void* Arg, size_t StackSize, int& Error) {
  auto* Thread = new TThread{nullptr, Main, Arg};
  // _beginthreadex rather than CreateThread, so that the C runtime sets up its
  // per-thread state; the size is a reservation, as the main thread's is.
  const uintptr_t Handle = _beginthreadex(nullptr, static_cast<unsigned>(StackSize), &Trampoline, Thread,
                                          STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (Handle == 0) {
    Error = errno != 0 ? errno : EAGAIN;
    delete Thread;
    return nullptr;
  }
  Thread->Handle = reinterpret_cast<HANDLE>(Handle);
  Error = 0;
  return Thread;
}

void JoinThread(TThread* Thread) {
  WaitForSingleObject(Thread->Handle, INFINITE);
  CloseHandle(Thread->Handle);
  delete Thread;
}

}  // namespace Os
