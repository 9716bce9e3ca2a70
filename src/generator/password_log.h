// The password log, password.txt: one time-stamped line per run, appended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pwdraw {

/// The log, in the working directory.
inline constexpr const char* kLogPath = "password.txt";

/// The type whose result is a three-digit PIN code.
inline constexpr std::uint32_t kPinType = 3;

/// Appends "HH:MM:SS DD_MM_YYYY Password <length>:\t<result>" to
/// password.txt, or "... PIN code:\t\t<result>" for type 3, in local time.
/// A log that cannot be opened is passed over.
void log_password(std::string_view result, std::size_t length, std::uint32_t type);

}  // namespace pwdraw
