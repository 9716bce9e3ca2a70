#include "generator/random.h"

#include <gtest/gtest.h>

#include <array>

namespace pwdraw {
namespace {

TEST(RandomTest, SeedGivesTheKnownSequenceAndSeedingAgainRestartsIt) {
  using Six = std::array<std::uint32_t, 6>;
  const std::pair<std::uint32_t, Six> cases[] = {
      {1, {330177771, 135115861, 3885783, 761386273, 598057187, 740356877}},
      {0, {892205935, 1061592568, 518997887, 278704200, 967350023, 63353936}},
      {1544282487, {12456991, 958485234, 81540516, 422448294, 563227336, 200165178}},
  };
  for (const auto& [seed, expected] : cases) {
    for (int again = 0; again < 2; ++again) {
      SCOPED_TRACE(seed);
      seed_random(seed);
      Six values;
      for (std::uint32_t& value : values) value = next_random();
      EXPECT_EQ(values, expected);
    }
  }
}

}  // namespace
}  // namespace pwdraw
