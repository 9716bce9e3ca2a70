// The three values that steer a run, and their correction.
#pragma once

#include <cstdint>

namespace pwdraw {

struct Parameters {
  std::uint32_t quality = 0;  // password length, 12 to 20
  std::uint32_t type = 0;     // character set, 1 to 4; 3 is a PIN code
  std::uint32_t number = 0;   // personal value, 1 to 10000
};

/// What a run may do to settings.ini when it has corrected a value, from
/// what it found there.
enum class Rewrite {
  kReplace,  // read, or not looked at (values from the command line)
  kCreate,   // none there: make one, but keep one another run made since
  kLeave,    // there but unreadable: it holds the user's values
};

/// Brings each value into its range: `quality` below 12 becomes 16 and above
/// 20 becomes 20; `type` 0 becomes 2 and above 4 becomes 4; `number` 0 or
/// above 10000 becomes `candidate`. Returns whether anything changed.
bool correct_parameters(Parameters& values, std::uint32_t candidate);

/// Seeds the random source with the clock, corrects the values, rewrites
/// settings.ini as `rewrite` allows when anything was corrected, and
/// generates the result.
void normalise_parameters(std::uint32_t quality, std::uint32_t type, std::uint32_t number,
                          Rewrite rewrite);

}  // namespace pwdraw
