#include "platform/clock.h"

namespace pwdraw {

std::time_t clock_now() { return std::time(nullptr); }

}  // namespace pwdraw
