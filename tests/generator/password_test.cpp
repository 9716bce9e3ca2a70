#include "generator/password.h"

#include <gtest/gtest.h>

namespace pwdraw {

// The draw picks positions, so the order of every set is part of every
// password drawn and logged so far.
TEST(PasswordTest, CharacterSetsHoldTheirCharactersInOrder) {
  const std::pair<std::uint32_t, std::string_view> sets[] = {
      {0, ""},
      {1, "1234567890AaBbCcDdEeFfGgHhIiJjKkLlMmNnOoPpQqRrSsTtUuVvWwXxYyZz"},
      {2, "123456789AaBbCcDdEeFfGgHhIiJjKkLlMmNnPpQqRrSsTtUuVvWwXxYyZz"},
      {3, "1234567890"},
      {4, "1234567890AaBbCcDdEeFfGgHhIiJjKkLlMmNnOoPpQqRrSsTtUuVvWwXxYyZz!#$%&()*+,-:;<=>?_."},
      {5, ""},
  };
  for (const auto& [type, set] : sets) EXPECT_EQ(character_set(type), set) << type;
}

}  // namespace pwdraw
