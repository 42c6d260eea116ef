#include "unique_number.h"

#include <atomic>

namespace platform {

uint64_t UniqueNumber() {
  static std::atomic<uint64_t> counter{0};
  uint64_t x = TimeAndProcess() ^ (counter.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull;
  x ^= x >> 29;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 32;
  return x;
}

}  // namespace platform
