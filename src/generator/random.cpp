#include "generator/random.h"

#include <array>

namespace pwdraw {
namespace {

struct RandomSource {
  std::uint32_t state = 1;
  bool ready = false;  // whether `table` was filled since the last seeding
  std::uint32_t last = 0;
  std::array<std::uint32_t, 32> table = {};
};

// Constant-initialised, so nothing runs before main.
RandomSource source;

std::uint32_t advance() {
  source.state = source.state * 1664525u + 1013904223u;
  return source.state;
}

}  // namespace

void seed_random(std::uint32_t seed) {
  source.state = seed;
  source.ready = false;
}

std::uint32_t next_random() {
  if (!source.ready) {
    for (int i = 0; i < 8; ++i) advance();
    for (std::uint32_t& slot : source.table) slot = advance();
    source.last = source.table.back();
    source.ready = true;
  }
  const std::uint32_t fresh = advance();
  std::uint32_t& slot = source.table[source.last & 31u];
  source.last = slot;
  slot = fresh;
  return source.last & RANDOM_MAX;
}

}  // namespace pwdraw
