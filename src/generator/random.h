// The one random source of a run: a 32-bit linear congruential generator
// whose outputs pass through a 32-slot shuffle table. Every password depends
// on this exact sequence, so it must never change.
#pragma once

#include <cstdint>

namespace pwdraw {

inline constexpr std::uint32_t RANDOM_MAX = 0x3FFFFFFF;

/// Restarts the sequence from `seed`; the table is refilled on the next draw.
void seed_random(std::uint32_t seed);

/// Returns the next value, 0 to RANDOM_MAX. Reduce it to a range with `%`.
std::uint32_t next_random();

}  // namespace pwdraw
