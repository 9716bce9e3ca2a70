#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// Headers that need windows.h first.
#include <aclapi.h>
// The C runtime's descriptor calls, after windows.h.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/neighbour.h"
#include "platform/system.h"

// A 32-bit time_t reads every clock after 2038-01-19 wrong; 32-bit mingw
// builds have one unless built with __MINGW_USE_VC2005_COMPAT.
static_assert(sizeof(std::time_t) >= 8, "build with -D__MINGW_USE_VC2005_COMPAT");

namespace pwdraw {
namespace {

// Our names are ASCII; the wide calls are the ones every Windows has.
using WidePath = std::array<wchar_t, 260>;

bool widen(const char* path, WidePath& wide) {
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.data(),
                             static_cast<int>(wide.size())) > 0;
}

// Other runs may read, replace or append to our files while we hold them.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Room for what the process token says of its user: TOKEN_USER and the SID
// after it.
struct alignas(TOKEN_USER) UserSid {
  std::array<unsigned char, 256> bytes;
};

// The user who runs us; null when the token does not tell.
PSID user_sid(UserSid& room) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
  DWORD size = 0;
  const bool found = GetTokenInformation(token, TokenUser, room.bytes.data(),
                                         static_cast<DWORD>(room.bytes.size()), &size);
  CloseHandle(token);
  return found ? reinterpret_cast<TOKEN_USER*>(room.bytes.data())->User.Sid : nullptr;
}

// A security descriptor that gives the current user, and no one else, full
// access, and takes nothing from the directory: the log holds passwords.
struct OwnerOnly {
  SECURITY_ATTRIBUTES attributes;
  SECURITY_DESCRIPTOR descriptor;
  UserSid user;
  alignas(DWORD) std::array<unsigned char, 256> acl;
};

// The attributes to create a file with; null, and so the directory's
// inherited access, when the user cannot be found.
SECURITY_ATTRIBUTES* owner_only(OwnerOnly& o) {
  const PSID user = user_sid(o.user);
  if (user == nullptr) return nullptr;
  auto* acl = reinterpret_cast<ACL*>(o.acl.data());
  if (!InitializeAcl(acl, static_cast<DWORD>(o.acl.size()), ACL_REVISION) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, user) ||
      !InitializeSecurityDescriptor(&o.descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&o.descriptor, TRUE, acl, FALSE) ||
      !SetSecurityDescriptorControl(&o.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return nullptr;
  }
  o.attributes = {sizeof(o.attributes), &o.descriptor, FALSE};
  return &o.attributes;
}

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

// Whether the last call failed because another program holds the file (an
// antivirus scanner, an indexer or a sync client that has it open, or has
// locked a range of it, for a moment), once the run has waited a moment
// more for it; false when it failed otherwise or the deadline has passed.
// A rename or a delete meets "access denied" where an open meets a sharing
// violation.
bool waited_for_holder(bool denied_means_held = false) {
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
                 SECURITY_ATTRIBUTES* security = nullptr, DWORD flags = 0) {
  HANDLE file;
  do {
    file = CreateFileW(path.data(), access, share, security, disposition,
                       FILE_ATTRIBUTE_NORMAL | flags, nullptr);
  } while (file == INVALID_HANDLE_VALUE && waited_for_holder());
  return file;
}

// Whether `file` belongs to the user who runs us, to the Administrators
// group (which owns what an elevated administrator makes, such as most
// symbolic links) or to the system: to no other user.
bool is_trusted(HANDLE file) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  UserSid room;
  const PSID user = user_sid(room);
  const bool trusted = owner != nullptr && ((user != nullptr && EqualSid(owner, user)) ||
                                            IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                                            IsWellKnownSid(owner, WinLocalSystemSid));
  LocalFree(descriptor);
  return trusted;
}

// Holds the reparse point at `path` as itself when a file may be written
// through it, sharing no deletion, so that nothing takes its name meanwhile:
// a symbolic link only when it is the user's own or an administrator's; a
// kind that leads to no other name (a cloud file, a deduplicated one)
// always. (A junction is a folder, which no open of the log takes.)
HANDLE hold_reparse_point(const WidePath& path) {
  const HANDLE point =
      open_file(path, READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                OPEN_EXISTING, nullptr, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
  FILE_ATTRIBUTE_TAG_INFO tag;
  if (point == INVALID_HANDLE_VALUE ||
      (GetFileInformationByHandleEx(point, FileAttributeTagInfo, &tag, sizeof(tag)) &&
       (!IsReparseTagNameSurrogate(tag.ReparseTag) || is_trusted(point)))) {
    return point;
  }
  CloseHandle(point);
  return INVALID_HANDLE_VALUE;
}

// Gives `to` the access list of the file at `from`, inherited entries
// taken from the directory again as the system would. (ReplaceFileW would do
// this, but fails under wine.) Where it cannot, `to` stays owner-only.
void copy_access(const WidePath& from, HANDLE to) {
  ACL* access = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(from.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &access, nullptr, &descriptor) != ERROR_SUCCESS) {
    return;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  const SECURITY_INFORMATION which =
      DACL_SECURITY_INFORMATION |
      ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                          : UNPROTECTED_DACL_SECURITY_INFORMATION);
  SetSecurityInfo(to, SE_FILE_OBJECT, which, nullptr, nullptr, access, nullptr);
  LocalFree(descriptor);
}

bool write_at(HANDLE file, std::int64_t offset, const char* data, std::size_t size, DWORD& put) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  put = 0;
  return size <= MAXDWORD && WriteFile(file, data, static_cast<DWORD>(size), &put, &at) &&
         put == size;
}

bool cut_at(HANDLE file, std::int64_t size) {
  FILE_END_OF_FILE_INFO end;
  end.EndOfFile.QuadPart = size;
  return SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof(end)) != 0;
}

// Where the directory takes no new file, the old one is overwritten, only
// when the new text fits in it: no new cluster is needed, and the old bytes
// go back when the write or the cut fails.
void write_in_place(const WidePath& path, const char* data, std::size_t size) {
  const HANDLE file = open_file(path, GENERIC_READ | GENERIC_WRITE, kShareAll, OPEN_EXISTING,
                                nullptr, FILE_FLAG_OPEN_REPARSE_POINT);
  if (file == INVALID_HANDLE_VALUE) return;
  std::array<char, 2048> old;
  BY_HANDLE_FILE_INFORMATION info;
  DWORD got = 0, put;
  // A second name would make this write land in another file as well, and
  // a link put in its place since the check would lead to another. The old
  // bytes to keep are there only when the new text fits.
  if (GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1 &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && size <= old.size() &&
      ReadFile(file, old.data(), static_cast<DWORD>(size), &got, nullptr) && got == size) {
    if (!write_at(file, 0, data, size, put) || !cut_at(file, static_cast<std::int64_t>(size))) {
      write_at(file, 0, old.data(), size, put);
    }
    FlushFileBuffers(file);
  }
  CloseHandle(file);
}

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

// Windows refuses to rename over a file while any handle is open on it,
// even one that shares deletion. Without `replace`, the name is taken only
// while it is free.
bool rename_over(const WidePath& from, const WidePath& to, bool replace) {
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  while (!MoveFileExW(from.data(), to.data(), flags)) {
    if (!waited_for_holder(true)) return false;
  }
  return true;
}

void remove_file(const WidePath& path) {
  while (!DeleteFileW(path.data())) {
    if (!waited_for_holder(true)) return;
  }
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
    if (!write_at(file, start, line.data() + skip, size + 2 - skip, put) && put > 0 &&
        GetFileSizeEx(file, &now) && now.QuadPart == start + put) {
      cut_at(file, start);  // a partial line would be glued to the next run's line
    }
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

// The temporary settings file, for the console handler: closing the
// console, Ctrl+C and Ctrl+Break end the run at once, from a thread of
// their own, and remove the file as they come. The name is written only
// while no file of ours is at it and no handler has come.
WidePath temp;
enum : int { kNoTemp, kMakingTemp, kTempMade };
std::atomic<int> temp_state{kNoTemp};
std::atomic<bool> ending{false};
bool handling = false;

// Makes the temporary file at `temp`, unless the run is ending: the handler
// sees either the file or that none will be made. It shares deletion only,
// with the handler.
HANDLE make_temp(SECURITY_ATTRIBUTES* owner, DWORD attributes) {
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

int open_for_reading(const char* path) {
  WidePath wide;
  if (!widen(path, wide)) return -1;
  const HANDLE file = open_file(wide, GENERIC_READ, kShareAll, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND ? kNoFile : -1;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
  if (fd < 0) CloseHandle(file);
  return fd;
}

long read_file(int fd, char* data, std::size_t size) {
  const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  DWORD got = 0;
  while (
      !ReadFile(file, data, size > INT_MAX ? INT_MAX : static_cast<DWORD>(size), &got, nullptr)) {
    if (!waited_for_holder()) return -1;
  }
  return static_cast<long>(got);
}

bool write_file(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const int put = _write(fd, data, size > INT_MAX ? INT_MAX : static_cast<unsigned>(size));
    if (put <= 0) return false;
    data += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

void close_file(int fd) { _close(fd); }

int standard_output() { return 1; }

void replace_file(const char* path, const char* data, std::size_t size, bool found) {
  WidePath wide;
  if (!widen(path, wide)) return;
  const DWORD attributes = GetFileAttributesW(wide.data());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) return;
  constexpr DWORD kNotOurs = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                             FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY;
  // A file the caller did not find has since been renamed into place by
  // another run: it stays.
  if (exists && (!found || (attributes & kNotOurs) != 0)) return;
  // The new file takes them at its creation, so that the rename keeps them.
  const DWORD kept = exists ? attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) : 0;

  // A name no other process can be using; one left by a killed run with
  // the same number is passed over. No one else may read or write it while
  // we write it.
  OwnerOnly security;
  SECURITY_ATTRIBUTES* const owner = owner_only(security);
  std::array<char, 256> narrow;
  HANDLE file = INVALID_HANDLE_VALUE;
  if (!handling) handling = SetConsoleCtrlHandler(end_run, TRUE) != 0;
  for (unsigned attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 100 && !ending.load();
       ++attempt) {
    const int length = std::snprintf(narrow.data(), narrow.size(), ".%s.%lu-%u", path,
                                     GetCurrentProcessId(), attempt);
    if (length <= 0 || static_cast<std::size_t>(length) >= narrow.size() ||
        !widen(narrow.data(), temp)) {
      break;
    }
    file = make_temp(owner, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) {
    if (exists && !ending.load()) write_in_place(wide, data, size);
    return;
  }
  if (exists) copy_access(wide, file);
  DWORD put;
  const bool written = write_at(file, 0, data, size, put) && FlushFileBuffers(file);
  CloseHandle(file);
  if (!written || !rename_over(temp, wide, exists)) remove_file(temp);
  temp_state.store(kNoTemp);
}

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

bool same_file(const char* path, const char* other) {
  std::array<BY_HANDLE_FILE_INFORMATION, 2> info;
  std::array<const char*, 2> names = {path, other};
  for (std::size_t i = 0; i < names.size(); ++i) {
    WidePath wide;
    // No access asked for: a file held without sharing still tells who it is.
    const HANDLE file =
        widen(names[i], wide) ? open_file(wide, 0, kShareAll, OPEN_EXISTING) : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(file, &info[i]);
    CloseHandle(file);
    if (!known) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
}

void prepare_process() {
  // Text mode would turn our CR LF into CR CR LF.
  _setmode(1, _O_BINARY);
}

// The zone is the system's setting, never the C runtime's reading of TZ,
// which shells may set to names it does not know. The rules are those of
// the year in question, as the system keeps them.
bool to_local_time(std::time_t time, std::tm& local) {
  constexpr std::int64_t kFrom1601 = 11644473600;  // seconds from 1601 to 1970
  constexpr std::int64_t kTicksPerSecond = 10000000;
  if (time < -kFrom1601 || time > INT64_MAX / kTicksPerSecond - kFrom1601) return false;
  const auto ticks = static_cast<std::uint64_t>((time + kFrom1601) * kTicksPerSecond);
  const FILETIME file_time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME utc, here;
  DYNAMIC_TIME_ZONE_INFORMATION zone;
  TIME_ZONE_INFORMATION rules;
  if (!FileTimeToSystemTime(&file_time, &utc) ||
      GetDynamicTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) {
    return false;
  }
  if (zone.DynamicDaylightTimeDisabled ||
      !GetTimeZoneInformationForYear(utc.wYear, &zone, &rules)) {
    rules = {zone.Bias,        {}, zone.StandardDate, zone.StandardBias, {}, zone.DaylightDate,
             zone.DaylightBias};
  }
  if (!SystemTimeToTzSpecificLocalTime(&rules, &utc, &here)) return false;
  local = {};
  local.tm_year = here.wYear - 1900;
  local.tm_mon = here.wMonth - 1;
  local.tm_mday = here.wDay;
  local.tm_hour = here.wHour;
  local.tm_min = here.wMinute;
  local.tm_sec = here.wSecond;
  local.tm_wday = here.wDayOfWeek;
  return true;
}

}  // namespace pwdraw
