#include "number.h"

#include <cctype>
#include <limits>

int32_t ParseNumber(const char* text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0 && std::isspace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  // Accumulate in 64 bits and stop growing once past the 32-bit range, so any
  // number of digits is safe.
  const int64_t limit = negative ? -int64_t(std::numeric_limits<int32_t>::min())
                                 : int64_t(std::numeric_limits<int32_t>::max());
  int64_t magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    magnitude = magnitude * 10 + (*p - '0');
    if (magnitude > limit) magnitude = limit;
  }
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

int32_t ReplacementValue(int32_t processors, int32_t number) {
  return static_cast<int32_t>(int64_t(processors) + int64_t(number));
}
