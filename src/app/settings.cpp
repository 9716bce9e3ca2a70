#include "app/settings.h"

#include <cstddef>
#include <cstdio>

#include "app/decimal.h"
#include "app/project.h"
#include "generator/password_log.h"
#include "platform/system.h"
#include "platform/text_file.h"

namespace pwdraw {
namespace {

constexpr const char* kPath = "settings.ini";
constexpr std::size_t kMaxReads = 18;
constexpr std::size_t kReadLimit = 1013;  // characters per read, newline included
// The most that the reads can consume: each may also drop the CR before its
// newline, and one byte more tells whether a CR stands before a LF.
constexpr std::size_t kFileLimit = kMaxReads * (kReadLimit + 1) + 1;
constexpr std::size_t kMaxKey = 8;
// Five, so that the "number = 10000" we write reads back as 10000.
constexpr std::size_t kMaxDigits = 5;

bool is_kept(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '=' ||
         c == '[' || c == ']';
}

// One read of at most kReadLimit characters, ending after a newline.
std::string_view next_read(std::string_view text, std::size_t& pos) {
  const std::string_view rest(text.data() + pos, text.size() - pos);
  std::size_t size = rest.find('\n');
  size = size == std::string_view::npos ? rest.size() : size + 1;
  if (size > kReadLimit) size = kReadLimit;
  pos += size;
  return {rest.data(), size};
}

// "key=digits": a key of 1 to kMaxKey characters other than "=", then 1 to
// kMaxDigits digits; whatever follows them is ignored.
bool match_setting(std::string_view text, std::string_view& key, std::string_view& digits) {
  const std::size_t equals = text.find('=');
  if (equals == 0 || equals == std::string_view::npos || equals > kMaxKey) {
    return false;
  }
  std::size_t end = equals + 1;
  while (end < text.size() && end - equals <= kMaxDigits && text[end] >= '0' && text[end] <= '9') {
    ++end;
  }
  if (end == equals + 1) return false;
  key = {text.data(), equals};
  digits = {text.data() + equals + 1, end - equals - 1};
  return true;
}

}  // namespace

std::string_view clean_line(std::string_view line, LineBuffer& out) {
  std::size_t size = 0;
  for (const char c : line) {
    if (c == '\0' || c == '#' || c == ';' || c == '/') break;
    if (is_kept(c) && size < out.size()) out[size++] = c;
  }
  return {out.data(), size};
}

Parameters parse_settings(std::string_view text) {
  Parameters values;
  std::size_t pos = 0;
  for (std::size_t read = 0; read < kMaxReads && pos < text.size(); ++read) {
    LineBuffer buffer;
    std::string_view key;
    std::string_view digits;
    if (!match_setting(clean_line(next_read(text, pos), buffer), key, digits)) {
      continue;
    }
    const std::uint32_t value = parse_decimal(digits);
    if (key == "quality") values.quality = value;
    if (key == "type") values.type = value;
    if (key == "number") values.number = value;
  }
  return values;
}

FoundSettings read_settings() {
  std::array<char, kFileLimit> data;
  const long size = read_text_file(kPath, data.data(), data.size());
  if (size == kNoFile) return {Parameters{}, Rewrite::kCreate};
  if (size < 0) return {Parameters{}, Rewrite::kLeave};
  return {parse_settings({data.data(), static_cast<std::size_t>(size)}), Rewrite::kReplace};
}

std::string_view format_settings(std::uint32_t quality, std::uint32_t type, std::uint32_t number,
                                 SettingsText& out) {
  const int size =
      std::snprintf(out.data(), out.size(),
                    "[Options]\n"
                    "# v 2.0\n"
                    "# %s\n\n"
                    "# качество пароля\n"
                    "# от 12 до 20\n"
                    "quality = %u\n\n"
                    "# тип пароля\n"
                    "# от 1 до 4\n"
                    "type = %u\n\n"
                    "# для индивидуального\n"
                    "# рандома\n"
                    "# от 1 до 10000\n"
                    "number = %u\n\n",
                    PWDRAW_HOMEPAGE_URL, unsigned{quality}, unsigned{type}, unsigned{number});
  if (size <= 0 || static_cast<std::size_t>(size) >= out.size()) return {};
  return {out.data(), static_cast<std::size_t>(size)};
}

void write_settings(std::uint32_t quality, std::uint32_t type, std::uint32_t number, bool found) {
  // password.txt may lead to this very file, by a link made by mistake: a
  // new settings.ini in its place would take every logged password with it.
  if (same_file(kPath, kLogPath)) return;
  SettingsText text;
  // A text that did not fit comes back empty, and leaves the old file.
  replace_text_file(kPath, format_settings(quality, type, number, text), found);
}

}  // namespace pwdraw
