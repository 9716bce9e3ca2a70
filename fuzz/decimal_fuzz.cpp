// Arbitrary text through the unsigned decimal conversion, against a second,
// deliberately plain reading of the same rules on the digit string.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "app/decimal.h"
#include "support.h"

namespace {

std::uint32_t plain_decimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] != '\0' && std::strchr(" \t\n\v\f\r", text[i]) != nullptr) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::string digits;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') digits += text[i++];
  digits.erase(0, digits.find_first_not_of('0'));
  // Compared as decimal strings, so no digit count can overflow anything.
  if (digits.size() > 10 || (digits.size() == 10 && digits > "4294967295")) return 4294967295u;
  const std::uint64_t magnitude = digits.empty() ? 0 : std::stoull(digits);
  return static_cast<std::uint32_t>(negative ? (std::uint64_t{1} << 32) - magnitude : magnitude);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  FUZZ_CHECK(pwdraw::parse_decimal(text) == plain_decimal(text));
  return 0;
}
