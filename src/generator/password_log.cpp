#include "generator/password_log.h"

#include <array>
#include <cstring>
#include <ctime>

#include "platform/clock.h"
#include "platform/system.h"
#include "platform/text_file.h"

namespace pwdraw {
namespace {

// Puts `value` in decimal at `at`, with zeros before it up to `width`
// characters, a minus sign included, as printf's "%0*d" does; returns the
// end. By hand, not by snprintf, whose code and tables would cost every run
// page faults of their own.
char* put_decimal(char* at, long long value, int width) {
  std::array<char, 20> digits;
  unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  int count = 0;
  do {
    digits[static_cast<std::size_t>(count++)] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) {
    *at++ = '-';
    --width;
  }
  for (int pad = width - count; pad > 0; --pad) *at++ = '0';
  while (count > 0) *at++ = digits[static_cast<std::size_t>(--count)];
  return at;
}

char* put_text(char* at, std::string_view text) {
  std::memcpy(at, text.data(), text.size());
  return at + text.size();
}

}  // namespace

void log_password(std::string_view result, std::size_t length, std::uint32_t type) {
  // A time the platform cannot convert is stamped as a zeroed date, the same
  // on every platform. The fields are formatted here, not by strftime: the
  // Windows C runtime ends the process when given such a date.
  std::tm local = {};
  if (!to_local_time(clock_now(), local)) local = {};
  // Room for every field at its widest; a stamp over 30 characters, which
  // no converted time gives, is left out.
  std::array<char, 72> stamp;
  char* end = stamp.data();
  end = put_decimal(end, local.tm_hour, 2);
  *end++ = ':';
  end = put_decimal(end, local.tm_min, 2);
  *end++ = ':';
  end = put_decimal(end, local.tm_sec, 2);
  *end++ = ' ';
  end = put_decimal(end, local.tm_mday, 2);
  *end++ = '_';
  end = put_decimal(end, local.tm_mon + 1LL, 2);
  *end++ = '_';
  // As the int sum that printf was given, which wraps past INT_MAX.
  end = put_decimal(end, static_cast<int>(static_cast<unsigned>(local.tm_year) + 1900u), 0);
  std::string_view written(stamp.data(), static_cast<std::size_t>(end - stamp.data()));
  if (written.size() > 30) written = {};

  // At most 30 + 21 + 10 characters and the result, of at most 31.
  std::array<char, 128> line;
  char* at = put_text(line.data(), written);
  if (type == kPinType) {
    at = put_text(at, " PIN code:\t\t");
  } else {
    at = put_text(at, " Password ");
    at = put_decimal(at, static_cast<unsigned>(length), 0);
    at = put_text(at, ":\t");
  }
  at = put_text(at, result.substr(0, 31));
  *at++ = '\n';
  append_text_file(kLogPath, {line.data(), static_cast<std::size_t>(at - line.data())});
}

}  // namespace pwdraw
