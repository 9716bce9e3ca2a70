// What closing the console, Ctrl+C and Ctrl+Break do to a run on Windows:
// a handler, on a thread of its own, removes the temporary settings file
// and lets Windows end the process.
#include <atomic>

#include "platform/win32/win32.h"

namespace pwdraw::win32 {
namespace {

// The temporary settings file, for the handler. The name is written only
// while no file of ours is at it, and so while the handler does not read it.
WidePath temp;
enum : int { kNoTemp, kMakingTemp, kTempMade };
std::atomic<int> temp_state{kNoTemp};
std::atomic<bool> ending{false};

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
  int state;
  while ((state = temp_state.load()) == kMakingTemp) Sleep(1);  // one CreateFileW
  if (state == kTempMade) remove_temp();
  return FALSE;  // and the default handling ends the process
}

}  // namespace

void handle_console_events() { SetConsoleCtrlHandler(end_run, TRUE); }

bool run_ending() { return ending.load(); }

HANDLE make_temp(const WidePath& name, SECURITY_ATTRIBUTES* owner, DWORD attributes) {
  temp = name;
  temp_state.store(kMakingTemp);
  HANDLE file = INVALID_HANDLE_VALUE;
  DWORD error = ERROR_CANCELLED;
  if (!ending.load()) {
    file = CreateFileW(temp.data(), GENERIC_WRITE | WRITE_DAC, FILE_SHARE_DELETE, owner, CREATE_NEW,
                       attributes | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    error = GetLastError();
  }
  temp_state.store(file == INVALID_HANDLE_VALUE ? kNoTemp : kTempMade);
  SetLastError(error);
  return file;
}

void forget_temp() { temp_state.store(kNoTemp); }

}  // namespace pwdraw::win32
