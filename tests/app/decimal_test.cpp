#include "app/decimal.h"

#include <gtest/gtest.h>

#include <string>

namespace pwdraw {
namespace {

TEST(DecimalTest, ConvertsLikeAnUnsigned32BitStrtoul) {
  struct Case {
    std::string text;
    std::uint32_t value;
  } cases[] = {
      {"", 0},
      {"abc", 0},
      {"12abc", 12},
      {" \t\n\v\f\r+18", 18},
      {"- 5", 0},  // no white space after the sign
      {"+-5", 0},
      {"0x10", 0},
      {"-1", 4294967295},
      {"-14", 4294967282},
      {"-4294967295", 1},
      {"4294967295", 4294967295},
      {"4294967296", 4294967295},
      {"-99999999999", 4294967295},
      {"99999999999999999999999", 4294967295},
      {std::string(40, '0') + "7", 7},  // leading zeros never overflow
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_decimal(c.text), c.value);
  }
}

}  // namespace
}  // namespace pwdraw
