// Preloaded into orvane by the failure suite: from the Nth thread creation on
// (N in ORVANE_TEST_THREADS_FAIL_FROM), pthread_create fails as it does when
// the address space or the thread limit is exhausted.
#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

extern "C" int pthread_create(pthread_t* Thread, const pthread_attr_t* Attr, void* (*Start)(void*),
                              void* Arg) {
  using TCreate = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  static const auto Next = reinterpret_cast<TCreate>(dlsym(RTLD_NEXT, "pthread_create"));
  static std::atomic<long> Calls{0};
  const char* From = std::getenv("ORVANE_TEST_THREADS_FAIL_FROM");
  if (From != nullptr && ++Calls >= std::atol(From)) return EAGAIN;
  return Next(Thread, Attr, Start, Arg);
}
