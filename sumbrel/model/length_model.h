// Contexts of the part2_3_length model. (Placeholder, filled in by its author.)
#pragma once
#include "coder/coder.h"

struct LengthContexts {};
