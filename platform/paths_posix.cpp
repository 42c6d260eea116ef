#include "paths.h"

namespace platform {

const char* const kSeparators = "/";
const bool kDriveLetters = false;

}  // namespace platform
