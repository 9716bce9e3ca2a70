#include "app/usage.h"

#include <cstddef>
#include <string_view>

#include "app/project.h"
#include "platform/text_file.h"

namespace pwdraw {
namespace {

// The README shows this text under "$ pwdraw --help", and the fault matrix
// compares the two: change both together.
constexpr std::string_view kUsage =
    "Usage: pwdraw [quality [type [number]]]\n"
    "       pwdraw --help | -h | /?\n"
    "       pwdraw --version\n"
    "\n"
    "Prints one password or PIN code and appends it, with a time stamp, to\n"
    "password.txt in the current directory.\n"
    "\n"
    "  quality  12-20, the length of the password;\n"
    "           missing or below 12 becomes 16, above 20 becomes 20.\n"
    "  type     1-4: 1 letters and digits, 2 the same without 0 O o,\n"
    "           3 PIN code of three digits, 4 letters, digits and punctuation;\n"
    "           missing or 0 becomes 2, above 4 becomes 4.\n"
    "  number   1-10000, a personal value that changes which passwords you draw;\n"
    "           missing, 0 or above 10000 becomes a random value.\n"
    "\n"
    "Arguments are decimal: text counts as 0, a negative value as too large,\n"
    "unless near -4294967296: -4294967284 wraps around to 12.\n"
    "Without arguments the values come from settings.ini in the current\n"
    "directory. Whenever a value is corrected, settings.ini is written anew\n"
    "with the corrected values.\n"
    "--help and --version only print: they read and write no file.\n"
    "\n"
    "Manual: man pwdraw; on Windows, README.md in the ZIP.\n";

constexpr std::string_view kVersion =
    "pwdraw " PWDRAW_VERSION "\nFree software under the ISC License, without warranty.\n";

// Whether `text` shows whole in a console of 80 by 25: at most 24 lines,
// each ended by "\n", of at most 79 columns, for a line of 80 would wrap
// on Windows and leave an empty line after it. With its CRs added it then
// fits what write_console takes.
constexpr bool fits_console(std::string_view text) {
  std::size_t lines = 0;
  std::size_t column = 0;
  for (const char c : text) {
    if (c == '\n') {
      ++lines;
      column = 0;
    } else if (++column > 79) {
      return false;
    }
  }
  return lines <= 24 && column == 0;
}
static_assert(fits_console(kUsage) && fits_console(kVersion));

}  // namespace

bool answer_help_or_version(int argc, const char* const argv[]) {
  if (argc < 2) return false;
  const std::string_view first = argv[1];
  if (first == "--help" || first == "-h" || first == "/?") {
    write_console(kUsage);
    return true;
  }
  if (first == "--version") {
    write_console(kVersion);
    return true;
  }
  return false;
}

}  // namespace pwdraw
