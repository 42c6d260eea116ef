// Contexts of the scale-factor models. (Placeholder, filled in by its author.)
#pragma once
#include "coder/coder.h"

struct ScaleFactorContexts {};
