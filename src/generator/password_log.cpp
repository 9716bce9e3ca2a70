#include "generator/password_log.h"

#include <array>
#include <cstdio>
#include <ctime>

#include "platform/clock.h"
#include "platform/system.h"
#include "platform/text_file.h"

namespace pwdraw {

void log_password(std::string_view result, std::size_t length, std::uint32_t type) {
  // A time the platform cannot convert is stamped as a zeroed date, the same
  // on every platform. The fields are formatted here, not by strftime: the
  // Windows C runtime ends the process when given such a date.
  std::tm local = {};
  if (!to_local_time(clock_now(), local)) local = {};
  std::array<char, 31> stamp;
  const int written = std::snprintf(stamp.data(), stamp.size(), "%02d:%02d:%02d %02d_%02d_%d",
                                    local.tm_hour, local.tm_min, local.tm_sec, local.tm_mday,
                                    local.tm_mon + 1, local.tm_year + 1900);
  if (written < 0 || static_cast<std::size_t>(written) >= stamp.size()) stamp[0] = '\0';

  std::array<char, 128> line;
  const int text = static_cast<int>(result.size());
  const int size =
      type == kPinType
          ? std::snprintf(line.data(), line.size(), "%s PIN code:\t\t%.*s\n", stamp.data(), text,
                          result.data())
          : std::snprintf(line.data(), line.size(), "%s Password %u:\t%.*s\n", stamp.data(),
                          static_cast<unsigned>(length), text, result.data());
  if (size <= 0 || static_cast<std::size_t>(size) >= line.size()) return;
  append_text_file(kLogPath, {line.data(), static_cast<std::size_t>(size)});
}

}  // namespace pwdraw
