// The draw of one password or PIN code and its console line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pwdraw {

/// Room for the longest result, 20 characters, and more.
using Result = std::array<char, 32>;

/// Picks the character set and the result length for `type` (1 to 4; 3 is a
/// PIN code of three digits) and calls generate_password. Any other type
/// does nothing.
void generate_for_type(std::uint32_t quality, std::uint32_t type, std::uint32_t number);

/// Draws a result of `length` characters from `set`, prints it and logs it.
void generate_password(std::string_view set, std::size_t length, std::uint32_t type,
                       std::uint32_t number);

/// The draw alone. First `number` + 1000 draws fill a table of positions in
/// `set`; then each character takes the position held by a randomly picked
/// entry of that table. Returns the result, which lives in `out`.
std::string_view draw_password(std::string_view set, std::size_t length, std::uint32_t number,
                               Result& out);

}  // namespace pwdraw
