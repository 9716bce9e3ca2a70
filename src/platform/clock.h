// The clock of a run. clock.cpp is linked into the program only, so that
// the test binary can link a clock of its own and pin every byte written.
#pragma once

#include <ctime>

namespace pwdraw {

/// The calendar time in whole seconds since 1970-01-01 00:00:00 UTC.
std::time_t clock_now();

}  // namespace pwdraw
