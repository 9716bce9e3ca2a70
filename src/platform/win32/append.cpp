// Appending a line to password.txt on Windows: at the end found under a
// lock that every run takes, whole or not at all.
#include <array>
#include <cstring>

#include "platform/system.h"
#include "platform/win32/win32.h"

namespace pwdraw {
namespace {

using namespace win32;

// One byte far past any real end of file: every append holds it while it
// finds the end and writes there, so no two runs write at the same end.
// Readers are not held up, since no one reads there.
constexpr DWORD kLockLow = MAXDWORD, kLockHigh = 0x7FFFFFFF;

// Whether a line added at `end` starts a line of its own. A file we may
// not read is taken to end its last line.
bool ends_a_line(HANDLE file, std::int64_t end) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(end - 1);
  at.OffsetHigh = static_cast<DWORD>((end - 1) >> 32);
  char last = '\n';
  DWORD got = 0;
  return end == 0 || !ReadFile(file, &last, 1, &got, &at) || got != 1 || last == '\n';
}

// Takes that byte, waiting out another holder (a neighbour may lock the
// whole file) within the run's deadline, never longer.
bool lock_end(HANDLE file, OVERLAPPED& lock) {
  lock = {};
  lock.Offset = kLockLow;
  lock.OffsetHigh = kLockHigh;
  constexpr DWORD kFlags = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
  while (!LockFileEx(file, kFlags, 0, 1, 0, &lock)) {
    if (!waited_for_holder()) return false;
  }
  return true;
}

// A CR LF, then the longest line the log takes.
using Line = std::array<char, 2 + 2048>;

// Opens the log to append to, reading too to tell how it ends; a log the
// user may write but not read still takes the line.
HANDLE open_log(const WidePath& path, SECURITY_ATTRIBUTES* owner, DWORD flags) {
  HANDLE file = open_file(path, GENERIC_READ | GENERIC_WRITE, kShareAll, OPEN_ALWAYS, owner, flags);
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
    file = open_file(path, GENERIC_WRITE, kShareAll, OPEN_ALWAYS, owner, flags);
  }
  return file;
}

// Adds the `size` bytes after the CR LF in `line` at the end of `file`,
// the CR LF too where the file does not end a line, in one write under the
// lock. False, with nothing written, when `file` is a reparse point opened
// as itself.
bool append_line(HANDLE file, const Line& line, std::size_t size, bool as_itself) {
  OVERLAPPED lock;
  if (!lock_end(file, lock)) return true;
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(file, &info) != 0;
  const bool file_itself =
      known && !(as_itself && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
  const std::int64_t start =
      file_itself ? std::int64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow : 0;
  DWORD put = 0;
  if (file_itself) {
    const std::size_t skip = ends_a_line(file, start) ? 2 : 0;
    LARGE_INTEGER now;
    start_whole_write();
    if (!write_at(file, start, line.data() + skip, size + 2 - skip, put) && put > 0 &&
        GetFileSizeEx(file, &now) && now.QuadPart == start + put) {
      cut_at(file, start);  // a partial line would be glued to the next run's line
    }
    end_whole_write();
  }
  // A run that finds the log empty may have made it: the file and its name
  // must last before the lock lets another run find it not empty and show
  // a line that a power cut would take with them. Any other run need not
  // keep the next one waiting for its flush.
  const bool made = start == 0;
  if (put > 0 && made) FlushFileBuffers(file);
  UnlockFileEx(file, 0, 1, 0, &lock);
  if (put > 0 && !made) FlushFileBuffers(file);
  return !known || file_itself;
}

}  // namespace

void append_file(const char* path, const char* data, std::size_t size) {
  WidePath wide;
  Line line = {'\r', '\n'};
  if (size > line.size() - 2 || !widen(path, wide)) return;
  std::memcpy(line.data() + 2, data, size);
  OwnerOnly security;
  SECURITY_ATTRIBUTES* const owner = owner_only(security);
  HANDLE file = open_log(wide, owner, FILE_FLAG_OPEN_REPARSE_POINT);
  if (file == INVALID_HANDLE_VALUE) return;
  const bool done = append_line(file, line, size, true);
  CloseHandle(file);
  if (done) return;
  // A reparse point, opened as itself: followed only where that is sound.
  const HANDLE point = hold_reparse_point(wide);
  if (point == INVALID_HANDLE_VALUE) return;
  file = open_log(wide, owner, 0);
  if (file != INVALID_HANDLE_VALUE) {
    append_line(file, line, size, false);
    CloseHandle(file);
  }
  CloseHandle(point);
}

}  // namespace pwdraw
