#include "generator/password.h"

#include <gtest/gtest.h>

#include "generator/random.h"

namespace pwdraw {
namespace {

TEST(PasswordTest, DrawIsFixedBySeedSetLengthAndNumber) {
  struct Case {
    std::string_view set;
    std::size_t length;
    std::uint32_t number;
    std::string_view password;
  } cases[] = {
      {"1234567890AaBbCcDdEeFfGgHhIiJjKkLlMmNnOoPpQqRrSsTtUuVvWwXxYyZz", 12, 1,
       "GFQYN43Ctd59"},
      {"123456789AaBbCcDdEeFfGgHhIiJjKkLlMmNnPpQqRrSsTtUuVvWwXxYyZz", 20, 10000,
       "GzUQJaSIvcJffgelE265"},
      {"1234567890", 3, 5000, "331"},
      {"1234567890AaBbCcDdEeFfGgHhIiJjKkLlMmNnOoPpQqRrSsTtUuVvWwXxYyZz"
       "!#$%&()*+,-:;<=>?_.",
       16, 1, ",g0C$h+e1Zeow#&="},
      {"x", 12, 1, ""},  // a set of one character draws nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.password);
    seed_random(1544282487);
    Result out;
    EXPECT_EQ(draw_password(c.set, c.length, c.number, out), c.password);
  }
}

}  // namespace
}  // namespace pwdraw
