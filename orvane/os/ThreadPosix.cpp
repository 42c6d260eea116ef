#include <pthread.h>
#include <time.h>

#include "Os.h"

namespace Os {

struct TThread {
  pthread_t Id;
  void (*Main)(void*);
  void* Arg;
};

namespace {
void* Trampoline(void* Self) {
  auto* Thread = static_cast<TThread*>(Self);
  Thread->Main(Thread->Arg);
  return nullptr;
}
}  // namespace

void SleepMs(int32_t Milliseconds) {
  timespec Delay{Milliseconds / 1000, (Milliseconds % 1000) * 1000000L};
  while (nanosleep(&Delay, &Delay) != 0) {
  }
}

TThread* StartThread(void (*Main)(void*), void* Arg, size_t StackSize, int& Error) {
  auto* Thread = new TThread{{}, Main, Arg};
  pthread_attr_t Attr;
  pthread_attr_init(&Attr);
  pthread_attr_setstacksize(&Attr, StackSize);
  Error = pthread_create(&Thread->Id, &Attr, &Trampoline, Thread);
  pthread_attr_destroy(&Attr);
  if (Error != 0) {
    delete Thread;
    return nullptr;
  }
  return Thread;
}

void JoinThread(TThread* Thread) {
  pthread_join(Thread->Id, nullptr);
  delete Thread;
}

}  // namespace Os
