#include "paths.h"

namespace platform {

const char* const kSeparators = "\\/";
const bool kDriveLetters = true;

}  // namespace platform
