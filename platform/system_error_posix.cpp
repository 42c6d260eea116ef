#include <cerrno>
#include <cstring>

#include "system_error.h"

namespace platform {

std::string ErrorText(unsigned long code) { return std::strerror(int(code)); }

std::string LastErrorText() { return std::strerror(errno); }

}  // namespace platform
