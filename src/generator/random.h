// The one random source of a run: a 32-bit linear congruential generator
// whose outputs pass through a 32-slot shuffle table. Every password depends
// on this exact sequence, so it must never change.
#pragma once

#include <array>
#include <cstdint>

namespace pwdraw {

inline constexpr std::uint32_t RANDOM_MAX = 0x3FFFFFFF;

/// Restarts the sequence from `seed`; the table is refilled on the next draw.
void seed_random(std::uint32_t seed);

namespace detail {

// The generator's state, here so that next_random inlines into the draw
// loop, over 11,000 draws a run, which then keeps it in registers. Only
// seed_random and next_random use it.
struct RandomSource {
  std::uint32_t state = 1;
  bool ready = false;  // whether `table` was filled since the last seeding
  std::uint32_t last = 0;
  std::array<std::uint32_t, 32> table = {};
};

// Constant-initialised, so nothing runs before main.
extern RandomSource random_source;

inline std::uint32_t advance(RandomSource& source) {
  source.state = source.state * 1664525u + 1013904223u;
  return source.state;
}

/// Fills the table: the first draw after each seeding.
void fill_table();

}  // namespace detail

/// Returns the next value, 0 to RANDOM_MAX. Reduce it to a range with `%`.
inline std::uint32_t next_random() {
  detail::RandomSource& source = detail::random_source;
  if (!source.ready) detail::fill_table();
  const std::uint32_t fresh = detail::advance(source);
  std::uint32_t& slot = source.table[source.last & 31u];
  source.last = slot;
  slot = fresh;
  return source.last & RANDOM_MAX;
}

}  // namespace pwdraw
