#include "generator/random.h"

#include <gtest/gtest.h>

namespace pwdraw {

// Each seeding starts its sequence afresh, whatever was drawn before.
TEST(RandomTest, EachSeedingRestartsItsSequence) {
  const std::pair<std::uint32_t, std::uint32_t> first_draws[] = {
      {1, 330177771}, {0, 892205935}, {1544282487, 12456991}, {1, 330177771}};
  for (const auto& [seed, first] : first_draws) {
    seed_random(seed);
    EXPECT_EQ(next_random(), first) << seed;
  }
}

}  // namespace pwdraw
