// Waiting out, within the run's deadline, the other programs that hold our
// files for a moment on Windows, where a sharing violation cannot be queued
// behind: the pause after a call they made fail, and the open that tries
// again.
#include "platform/neighbour.h"
#include "platform/win32/win32.h"

namespace pwdraw::win32 {

bool waited_for_holder(bool denied_means_held) {
  const DWORD error = GetLastError();
  const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                    (denied_means_held && error == ERROR_ACCESS_DENIED);
  const long long pause = held ? neighbour_pause() : 0;
  if (pause == 0) return false;
  // Sleep rounds to the system's timer tick, 15.6 ms unless some program
  // asked for less, and drops what is under a millisecond; a
  // high-resolution timer (Windows 10 1803 on) keeps the pause.
  constexpr DWORD kHighResolution = 0x2;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
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
