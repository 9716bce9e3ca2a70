// Waiting out, within the run's deadline, the other programs that hold our
// files for a moment on Windows: the pause between tries, and the open
// that tries again.
#include <algorithm>
#include <chrono>
#include <cstdint>

#include "platform/neighbour.h"
#include "platform/win32/win32.h"

namespace pwdraw::win32 {
namespace {

// How long to pause, in microseconds, before trying again a file another
// program holds: a sharing violation cannot be queued behind, so we poll.
// Between half a ceiling and the ceiling, which doubles from 2 ms to 8 ms,
// so the first retries come soon, since most holders let go within
// milliseconds, and later ones never leave a gap of 10 ms between two holds
// unvisited. Where in that range is drawn from the low bits of the clock,
// so that no holder's cadence can keep every retry inside its holds; never
// from the password draw, which runs must repeat.
long long next_retry_pause() {
  static unsigned pauses = 0;
  const long long ceiling = 2000LL << std::min(pauses++, 2u);
  const auto now =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  const std::uint64_t mixed = now * 0x9E3779B97F4A7C15U;
  return ceiling / 2 +
         static_cast<long long>((mixed >> 32) % static_cast<std::uint64_t>(ceiling / 2 + 1));
}

}  // namespace

bool waited_for_holder(bool denied_means_held) {
  const DWORD error = GetLastError();
  const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                    (denied_means_held && error == ERROR_ACCESS_DENIED);
  const long long left = held ? neighbour_time_left() : 0;
  if (left == 0) return false;
  // Sleep rounds to the system's timer tick, 15.6 ms unless some program
  // asked for less, and drops what is under a millisecond; a
  // high-resolution timer (Windows 10 1803 on) keeps the pause.
  constexpr DWORD kHighResolution = 0x2;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
  const long long pause = std::min(next_retry_pause(), left);
  const HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, kHighResolution, TIMER_ALL_ACCESS);
  LARGE_INTEGER due;
  due.QuadPart = -pause * 10;  // in 100 ns, from now
  if (timer == nullptr || !SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) ||
      WaitForSingleObject(timer, INFINITE) != WAIT_OBJECT_0) {
    Sleep(static_cast<DWORD>(pause / 1000 + 1));
  }
  if (timer != nullptr) CloseHandle(timer);
  return true;
}

HANDLE open_file(const WidePath& path, DWORD access, DWORD share, DWORD disposition,
                 SECURITY_ATTRIBUTES* security, DWORD flags) {
  HANDLE file;
  do {
    file = CreateFileW(path.data(), access, share, security, disposition,
                       FILE_ATTRIBUTE_NORMAL | flags, nullptr);
  } while (file == INVALID_HANDLE_VALUE && waited_for_holder());
  return file;
}

}  // namespace pwdraw::win32
