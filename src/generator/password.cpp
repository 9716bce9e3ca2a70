#include "generator/password.h"

#include <array>
#include <cstring>

#include "generator/password_log.h"
#include "generator/random.h"
#include "platform/text_file.h"

namespace pwdraw {
namespace {

// The order matters: the draw picks positions. Type 2 leaves out "0", "O"
// and "o", which are easily mistaken for each other.
constexpr std::array<std::string_view, 4> kCharacterSets = {
    "1234567890AaBbCcDdEeFfGgHhIiJjKkLlMmNnOoPpQqRrSsTtUuVvWwXxYyZz",
    "123456789AaBbCcDdEeFfGgHhIiJjKkLlMmNnPpQqRrSsTtUuVvWwXxYyZz",
    "1234567890",
    "1234567890AaBbCcDdEeFfGgHhIiJjKkLlMmNnOoPpQqRrSsTtUuVvWwXxYyZz"
    "!#$%&()*+,-:;<=>?_.",
};

constexpr std::size_t kPinLength = 3;
constexpr std::uint32_t kMaxCount = 11000;

// Room for the longest result, 20 characters, and more.
using Result = std::array<char, 32>;

// First `number` + 1000 draws fill a table of positions in `set`; then each
// character takes the position held by a randomly picked entry of that
// table. Returns the result, which lives in `out`.
std::string_view draw_password(std::string_view set, std::size_t length, std::uint32_t number,
                               Result& out) {
  out = {};
  if (set.size() < 2 || set.size() > 256) return {};
  if (length >= out.size()) length = out.size() - 1;

  // Positions fit a byte; left uninitialised since every entry that is read
  // is filled first, and not touching the rest keeps a run fast.
  std::array<std::uint8_t, kMaxCount> table;
  const std::uint32_t count = number < kMaxCount - 1000 ? number + 1000 : kMaxCount;
  const auto size = static_cast<std::uint32_t>(set.size());
  for (std::uint32_t k = 0; k < count; ++k) {
    table[k] = static_cast<std::uint8_t>(next_random() % size);
  }
  // `count` - 1, not `count`: the last entry is never picked. Passwords
  // already drawn and logged depend on it.
  for (std::size_t i = 0; i < length; ++i) {
    out[i] = set[table[next_random() % (count - 1)]];
  }
  return {out.data(), length};
}

}  // namespace

void generate_password(std::string_view set, std::size_t length, std::uint32_t type,
                       std::uint32_t number) {
  Result result;
  const std::string_view password = draw_password(set, length, number, result);
  if (password.empty()) return;

  // Put together by hand: snprintf would cost every run the page faults of
  // its code and tables.
  std::array<char, 64> line;
  const std::string_view label = type == kPinType ? "PIN code:\t" : "Password:\t";
  std::memcpy(line.data(), label.data(), label.size());
  std::memcpy(line.data() + label.size(), password.data(), password.size());
  const std::size_t size = label.size() + password.size() + 1;
  line[size - 1] = '\n';
  // Logged first: a run killed at any moment may leave a password logged
  // and never shown, which is harmless, but never one shown and not logged.
  log_password(password, password.size(), type);
  write_console({line.data(), static_cast<std::size_t>(size)});
}

std::string_view character_set(std::uint32_t type) {
  return type >= 1 && type <= kCharacterSets.size() ? kCharacterSets[type - 1] : "";
}

void generate_for_type(std::uint32_t quality, std::uint32_t type, std::uint32_t number) {
  const std::string_view set = character_set(type);
  if (set.empty()) return;
  generate_password(set, type == kPinType ? kPinLength : quality, type, number);
}

}  // namespace pwdraw
