// A property that fails stops the run the way a sanitizer does, so that
// libFuzzer keeps the input and the replay of kept inputs fails too.
#pragma once
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, message)                                              \
  do {                                                                              \
    if (!(condition)) {                                                             \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, message); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)
