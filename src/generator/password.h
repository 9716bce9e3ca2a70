// The draw of one password or PIN code and its console line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pwdraw {

/// The characters type 1 to 4 draw from, in the order the draw picks
/// positions of; empty for any other type.
std::string_view character_set(std::uint32_t type);

/// Picks the character set and the result length for `type` (1 to 4; 3 is a
/// PIN code of three digits) and calls generate_password. Any other type
/// does nothing.
void generate_for_type(std::uint32_t quality, std::uint32_t type, std::uint32_t number);

/// Draws a result of `length` characters from `set`, prints it and logs it.
void generate_password(std::string_view set, std::size_t length, std::uint32_t type,
                       std::uint32_t number);

}  // namespace pwdraw
