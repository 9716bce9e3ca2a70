// What closing the console, Ctrl+C and Ctrl+Break do to a run on Windows:
// a handler, on a thread of its own, removes the temporary settings file,
// waits a moment for a line under way to end whole or cut back, and lets
// Windows end the process.
#include <atomic>

#include "platform/win32/win32.h"

namespace pwdraw::win32 {
namespace {

// What the run is doing that the handler must undo or let end. The run
// sets it before it starts a step, which it then starts only while no
// event has come, and the handler sets `ending` before it reads this: so
// the handler sees either the step or that none will start.
enum : int { kIdle, kMakingTemp, kTempMade, kWriting };
std::atomic<int> doing{kIdle};
std::atomic<bool> ending{false};

// The temporary settings file, for the handler. The name is written only
// while no file of ours is at it, and so while the handler does not read it.
WidePath temp;

// How long the handler waits for a write and its cut back, in ms. On a
// local disk they take well under a millisecond, and on a share a few
// requests of a few ms each, so this covers them many times over, Sleep's
// 15.6 ms tick included, while Ctrl+C still ends the run at once to the
// eye and a closed console is far within the 5 s Windows allows. A write
// that takes longer is one a disk, a server or a scanner has stalled, and
// waiting for it would only keep the run from ending.
constexpr ULONGLONG kWriteWait = 100;

// Opens the file for deletion without sharing deletion: a rename under way
// keeps it from opening, and a rename after the open fails, so never both
// happen, and settings.ini is the old file or the new one, whole. It goes
// when the last handle closes, the run's own as the process ends. A
// program that holds it is given 50 ms to let go.
void remove_temp() {
  const ULONGLONG until = GetTickCount64() + 50;
  for (;;) {
    const HANDLE file =
        CreateFileW(temp.data(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      return;
    }
    if (GetLastError() != ERROR_SHARING_VIOLATION || GetTickCount64() > until) return;
    Sleep(1);
  }
}

BOOL WINAPI end_run(DWORD) {
  ending.store(true);
  int step;
  while ((step = doing.load()) == kMakingTemp) Sleep(1);  // one CreateFileW
  if (step == kTempMade) remove_temp();
  const ULONGLONG until = GetTickCount64() + kWriteWait;
  while (doing.load() == kWriting && GetTickCount64() <= until) Sleep(1);
  return FALSE;  // and the default handling ends the process
}

// Marks `step` as under way, or once the run is ending, waits for the
// handler to end the process.
void start_step(int step) {
  doing.store(step);
  if (!ending.load()) return;
  doing.store(kIdle);
  for (;;) Sleep(INFINITE);
}

}  // namespace

void handle_console_events() { SetConsoleCtrlHandler(end_run, TRUE); }

HANDLE make_temp(const WidePath& name, SECURITY_ATTRIBUTES* owner, DWORD attributes) {
  temp = name;
  start_step(kMakingTemp);
  const HANDLE file = CreateFileW(temp.data(), GENERIC_WRITE | WRITE_DAC, FILE_SHARE_DELETE, owner,
                                  CREATE_NEW, attributes | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  const DWORD error = GetLastError();
  doing.store(file == INVALID_HANDLE_VALUE ? kIdle : kTempMade);
  SetLastError(error);
  return file;
}

void forget_temp() { doing.store(kIdle); }

void start_whole_write() { start_step(kWriting); }

void end_whole_write() { doing.store(kIdle); }

}  // namespace pwdraw::win32
