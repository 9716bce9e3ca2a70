#include "app/decimal.h"

#include <gtest/gtest.h>

#include <string>

namespace pwdraw {

TEST(DecimalTest, ConvertsLikeAnUnsigned32BitStrtoul) {
  // clang-format off
  const std::pair<std::string, std::uint32_t> cases[] = {
      {"", 0}, {"12abc", 12}, {" \t\n\v\f\r+18", 18}, {"- 5", 0}, {"+-5", 0},
      {"-14", 4294967282}, {"-4294967295", 1}, {"-99999999999", 4294967295},
      {"4294967295", 4294967295}, {"4294967296", 4294967295}, {"99999999999999999999", 4294967295},
      {std::string(40, '0') + "7", 7},  // leading zeros never overflow
  };
  // clang-format on
  for (const auto& [text, value] : cases) EXPECT_EQ(parse_decimal(text), value) << text;
}

}  // namespace pwdraw
