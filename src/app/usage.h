// What the program answers to --help and --version instead of a password.
#pragma once

namespace pwdraw {

/// Prints the usage when the first argument is exactly "--help", "-h" or
/// "/?", or the version and licence when it is exactly "--version", and
/// returns true: the run is then over, with no file read or written, no
/// clock read and nothing drawn. Returns false, printing nothing, for every
/// other argument or none, so that "-help" still counts as 0.
bool answer_help_or_version(int argc, const char* const argv[]);

}  // namespace pwdraw
