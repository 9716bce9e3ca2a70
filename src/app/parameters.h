// The three values that steer a run, and their correction.
#pragma once

#include <cstdint>

namespace pwdraw {

struct Parameters {
  std::uint32_t quality = 0;  // password length, 12 to 20
  std::uint32_t type = 0;     // character set, 1 to 4; 3 is a PIN code
  std::uint32_t number = 0;   // personal value, 1 to 10000
};

/// Brings each value into its range: `quality` below 12 becomes 16 and above
/// 20 becomes 20; `type` 0 becomes 2 and above 4 becomes 4; `number` 0 or
/// above 10000 becomes `candidate`. Returns whether anything changed.
bool correct_parameters(Parameters& values, std::uint32_t candidate);

/// Seeds the random source with the clock, corrects the values, rewrites
/// settings.ini when anything was corrected and `may_rewrite` allows it,
/// and generates the result.
void normalise_parameters(std::uint32_t quality, std::uint32_t type, std::uint32_t number,
                          bool may_rewrite);

}  // namespace pwdraw
