#include "generator/password_log.h"

#include <array>
#include <cstdio>
#include <ctime>

#include "platform/clock.h"
#include "platform/system.h"
#include "platform/text_file.h"

namespace pwdraw {

void log_password(std::string_view result, std::size_t length, std::uint32_t type) {
  std::tm local = {};
  to_local_time(clock_now(), local);
  std::array<char, 31> stamp;
  if (std::strftime(stamp.data(), stamp.size(), "%H:%M:%S %d_%m_%Y", &local) == 0) {
    stamp[0] = '\0';
  }

  std::array<char, 128> line;
  const int text = static_cast<int>(result.size());
  const int size =
      type == kPinType
          ? std::snprintf(line.data(), line.size(), "%s PIN code:\t\t%.*s\n", stamp.data(), text,
                          result.data())
          : std::snprintf(line.data(), line.size(), "%s Password %u:\t%.*s\n", stamp.data(),
                          static_cast<unsigned>(length), text, result.data());
  if (size <= 0 || static_cast<std::size_t>(size) >= line.size()) return;
  append_text_file("password.txt", {line.data(), static_cast<std::size_t>(size)});
}

}  // namespace pwdraw
