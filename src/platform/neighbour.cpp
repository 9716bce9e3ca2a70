#include "platform/neighbour.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <thread>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace pwdraw {
namespace {

using Clock = std::chrono::steady_clock;
using Microseconds = std::chrono::microseconds;

constexpr Clock::duration kPatience = std::chrono::milliseconds{2000};

// Plain integers, so that nothing runs before main.
std::size_t waits = 0;
Clock::rep deadline = 0;  // in ticks of Clock since its epoch
bool started = false;

// What is left of the run's patience, from its first use on.
Clock::duration time_left(Clock::duration now) {
  if (!started) deadline = (now + kPatience).count(), started = true;
  return std::max(Clock::duration{deadline} - now, Clock::duration::zero());
}

// The next sleep: between half its ceiling and the ceiling, which doubles
// from 2 ms to 8 ms, so the first retries come soon, since most holders
// let go within milliseconds, and later ones never leave a gap of 10 ms
// between two holds unvisited. Where in that range is drawn afresh from the
// low bits of the clock, so that no holder's cadence can keep every retry
// inside its holds; never from the password draw, which runs must repeat.
Clock::duration next_delay(Clock::duration now) {
  const long long ceiling = 2000LL << std::min<std::size_t>(waits, 2);
  const std::uint64_t mixed = static_cast<std::uint64_t>(now.count()) * 0x9E3779B97F4A7C15U;
  const auto spread =
      static_cast<long long>((mixed >> 32) % static_cast<std::uint64_t>(ceiling / 2 + 1));
  return Microseconds{ceiling / 2 + spread};
}

#ifdef _WIN32
// Sleep, and the C++ library with it, rounds to the system's timer tick,
// 15.6 ms unless some program asked for less, and drops what is under a
// millisecond. A high-resolution timer (Windows 10 1803 on) keeps the delay.
void sleep_briefly(Clock::duration delay) {
  constexpr DWORD kHighResolution = 0x2;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
  const HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, kHighResolution, TIMER_ALL_ACCESS);
  LARGE_INTEGER due;
  due.QuadPart = -std::chrono::duration_cast<Microseconds>(delay).count() * 10;  // 100 ns, relative
  if (timer == nullptr || !SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) ||
      WaitForSingleObject(timer, INFINITE) != WAIT_OBJECT_0) {
    std::this_thread::sleep_for(delay);
  }
  if (timer != nullptr) CloseHandle(timer);
}
#else
void sleep_briefly(Clock::duration delay) { std::this_thread::sleep_for(delay); }
#endif

}  // namespace

long long neighbour_time_left() {
  const Clock::duration left = time_left(Clock::now().time_since_epoch());
  return std::chrono::duration_cast<Microseconds>(left).count();
}

bool wait_for_neighbour() {
  const Clock::duration now = Clock::now().time_since_epoch();
  const Clock::duration left = time_left(now);
  if (left <= Clock::duration::zero()) return false;
  const Clock::duration delay = next_delay(now);
  ++waits;
  sleep_briefly(std::min(delay, left));
  return true;
}

}  // namespace pwdraw
