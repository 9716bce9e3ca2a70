#include "platform/neighbour.h"

#include <algorithm>
#include <chrono>

namespace pwdraw {
namespace {

using Clock = std::chrono::steady_clock;

constexpr Clock::duration kPatience = std::chrono::milliseconds{2000};

// Plain integers, so that nothing runs before main.
Clock::rep deadline = 0;  // in ticks of Clock since its epoch
bool started = false;

}  // namespace

long long neighbour_time_left() {
  const Clock::duration now = Clock::now().time_since_epoch();
  if (!started) deadline = (now + kPatience).count(), started = true;
  const Clock::duration left = std::max(Clock::duration{deadline} - now, Clock::duration::zero());
  return std::chrono::duration_cast<std::chrono::microseconds>(left).count();
}

}  // namespace pwdraw
