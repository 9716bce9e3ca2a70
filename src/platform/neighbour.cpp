#include "platform/neighbour.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <thread>

namespace pwdraw {
namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

constexpr Milliseconds kPatience{2000};
// Short at first, since most holders let go within milliseconds; the last
// repeats until the deadline, often enough not to miss the moment between
// two holds of a busy scanner.
constexpr std::array<Milliseconds, 5> kDelays = {Milliseconds{1}, Milliseconds{2}, Milliseconds{5},
                                                 Milliseconds{10}, Milliseconds{25}};

// Plain integers, so that nothing runs before main.
std::size_t waits = 0;
Clock::rep deadline = 0;  // in ticks of Clock since its epoch
bool started = false;

// What is left of the run's patience, from its first use on.
Clock::duration time_left() {
  const Clock::duration now = Clock::now().time_since_epoch();
  if (!started) deadline = (now + kPatience).count(), started = true;
  return std::max(Clock::duration{deadline} - now, Clock::duration::zero());
}

}  // namespace

long long neighbour_time_left() {
  return std::chrono::duration_cast<std::chrono::microseconds>(time_left()).count();
}

bool wait_for_neighbour() {
  const Clock::duration left = time_left();
  if (left == Clock::duration::zero()) return false;
  const Milliseconds delay = kDelays[std::min(waits, kDelays.size() - 1)];
  ++waits;
  std::this_thread::sleep_for(std::min<Clock::duration>(delay, left));
  return true;
}

}  // namespace pwdraw
