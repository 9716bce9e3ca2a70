// settings.ini: the three values kept between runs, under "[Options]".
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "app/parameters.h"

namespace pwdraw {

using LineBuffer = std::array<char, 1024>;

/// Keeps the ASCII letters, digits, "=", "[" and "]" of `line`, up to its
/// first zero byte or its first "#", ";" or "/" (a comment), and drops every
/// other character: "quality = 1 8 # note" becomes "quality=18".
std::string_view clean_line(std::string_view line, LineBuffer& out);

/// Reads values from the text of a settings file: each of the first 18
/// reads of at most 1013 characters is cleaned, and "key=digits" with a key
/// of up to 8 characters and up to 5 digits sets `quality`, `type` or
/// `number`. Later lines win; values not found stay 0.
Parameters parse_settings(std::string_view text);

/// The values a run found in settings.ini, zeros where it found none, and
/// what it may do to the file.
struct FoundSettings {
  Parameters values;
  Rewrite rewrite = Rewrite::kReplace;
};

/// Reads settings.ini. A missing file gives three zeros, and one that exists
/// but cannot be opened or read gives three zeros too, and is left alone.
FoundSettings read_settings();

using SettingsText = std::array<char, 1024>;

/// The text of settings.ini, with comments, holding the three values; "\n"
/// ends its lines. Empty if it would not fit, so that no cut file is written.
std::string_view format_settings(std::uint32_t quality, std::uint32_t type, std::uint32_t number,
                                 SettingsText& out);

/// Replaces settings.ini, as a whole, with the commented file holding the
/// three values. A file that is the log too (password.txt a link to it, or a
/// second name of it), a link, another user's file, a read-only one, or
/// anything else not a regular file is left alone; so is one that appeared
/// since the run found none (`found` false).
void write_settings(std::uint32_t quality, std::uint32_t type, std::uint32_t number, bool found);

}  // namespace pwdraw
