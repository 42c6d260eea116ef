#pragma once
// Everything the models need to code bits: the range coder, adaptive bits,
// rate schedules, tree and run coders.

#include "coder/adaptive_bit.h"
#include "coder/bit_tree.h"
#include "coder/range_coder.h"
#include "coder/rate_schedules.h"
#include "coder/run_bit.h"
