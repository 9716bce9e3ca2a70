#include "generator/random.h"

namespace pwdraw {

detail::RandomSource detail::random_source;

void seed_random(std::uint32_t seed) {
  detail::RandomSource& source = detail::random_source;
  source.state = seed;
  source.ready = false;
}

void detail::fill_table() {
  RandomSource& source = random_source;
  for (int i = 0; i < 8; ++i) advance(source);
  for (std::uint32_t& slot : source.table) slot = advance(source);
  source.last = source.table.back();
  source.ready = true;
}

}  // namespace pwdraw
