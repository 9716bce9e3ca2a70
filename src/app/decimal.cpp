#include "app/decimal.h"

#include <cstddef>

namespace pwdraw {

std::uint32_t parse_decimal(std::string_view text) {
  constexpr std::uint64_t kMax = 0xFFFFFFFF;
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
    ++i;
  }
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;

  std::uint64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    // Saturate, so that any number of further digits cannot wrap around.
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');
    if (magnitude > kMax) return static_cast<std::uint32_t>(kMax);
  }
  const auto value = static_cast<std::uint32_t>(magnitude);
  return negative ? 0u - value : value;
}

}  // namespace pwdraw
