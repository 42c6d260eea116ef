#pragma once
#include <cstdint>

// Reads NUMBER the way the command line promises: leading white space, one optional
// sign, then decimal digits up to the first non-digit; no digits at all means 0.
// Values beyond the 32-bit range saturate at its nearest end, so an oversized
// positive number is still refused as positive and an oversized negative one
// counts as INT32_MIN.
int32_t ParseNumber(const char* text);

// The replacement value for NUMBER (which must be 0 or negative) on a machine
// with `processors` processors: processors + number. Both are 32-bit, processors
// is at least 1, so the sum always fits.
int32_t ReplacementValue(int32_t processors, int32_t number);
