#include "generator/random.h"

#include <gtest/gtest.h>

#include <array>

namespace pwdraw {
namespace {

std::array<std::uint32_t, 6> draw_six() {
  std::array<std::uint32_t, 6> values;
  for (std::uint32_t& value : values) value = next_random();
  return values;
}

TEST(RandomTest, SeedGivesTheKnownSequence) {
  struct Case {
    std::uint32_t seed;
    std::array<std::uint32_t, 6> values;
  } cases[] = {
      {1, {330177771, 135115861, 3885783, 761386273, 598057187, 740356877}},
      {0, {892205935, 1061592568, 518997887, 278704200, 967350023, 63353936}},
      {1544282487, {12456991, 958485234, 81540516, 422448294, 563227336, 200165178}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seed);
    seed_random(c.seed);
    EXPECT_EQ(draw_six(), c.values);
    // Seeding again restarts the sequence, whatever was drawn in between.
    seed_random(c.seed);
    EXPECT_EQ(draw_six(), c.values);
  }
}

}  // namespace
}  // namespace pwdraw
