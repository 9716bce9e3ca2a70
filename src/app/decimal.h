// The text-to-number conversion of the command line and the settings file.
#pragma once

#include <cstdint>
#include <string_view>

namespace pwdraw {

/// Skips leading white space, takes one optional sign, then decimal digits
/// up to the first other character. No digit gives 0; a magnitude above
/// 4294967295 gives 4294967295 whatever the sign; a "-" negates modulo 2^32,
/// so "-1" gives 4294967295 and counts as too large.
std::uint32_t parse_decimal(std::string_view text);

}  // namespace pwdraw
