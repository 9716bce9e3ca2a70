#include "platform/neighbour.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace pwdraw {
namespace {

using Clock = std::chrono::steady_clock;

constexpr Clock::duration kPatience = std::chrono::milliseconds{2000};

// Plain integers, so that nothing runs before main.
Clock::rep deadline = 0;  // in ticks of Clock since its epoch
bool started = false;
unsigned pauses = 0;

}  // namespace

long long neighbour_time_left() {
  const Clock::duration now = Clock::now().time_since_epoch();
  if (!started) deadline = (now + kPatience).count(), started = true;
  const Clock::duration left = std::max(Clock::duration{deadline} - now, Clock::duration::zero());
  return std::chrono::duration_cast<std::chrono::microseconds>(left).count();
}

// Between half a ceiling and the ceiling, which doubles from 2 ms to 8 ms,
// so the first retries come soon, since most holders let go within
// milliseconds, and later ones never leave a gap of 10 ms between two holds
// unvisited. Where in that range is drawn from the low bits of the clock,
// so that no holder's cadence can keep every retry inside its holds; never
// from the password draw, which runs must repeat.
long long neighbour_pause() {
  const long long ceiling = 2000LL << std::min(pauses++, 2u);
  const auto now = static_cast<std::uint64_t>(Clock::now().time_since_epoch().count());
  const std::uint64_t mixed = now * 0x9E3779B97F4A7C15U;
  const long long pause =
      ceiling / 2 +
      static_cast<long long>((mixed >> 32) % static_cast<std::uint64_t>(ceiling / 2 + 1));
  return std::min(pause, neighbour_time_left());
}

}  // namespace pwdraw
