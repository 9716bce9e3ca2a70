// What several of the Windows files in this folder need, and only that:
// wide names, the open that waits out other programs, writes at an offset,
// the owner-only security of new files, and what a run tells the console
// handler. Each file keeps the rest of its concept to itself.
#pragma once

#define WIN32_LEAN_AND_MEAN
// Else MSVC's windows.h makes macros of min and max, and std::min no longer
// compiles; libstdc++ on mingw-w64 defines it too.
#ifndef NOMINMAX
#define NOMINMAX 1
#endif
#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>

namespace pwdraw::win32 {

// Our names are ASCII; the wide calls are the ones every Windows has.
using WidePath = std::array<wchar_t, 260>;

inline bool widen(const char* path, WidePath& wide) {
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.data(),
                             static_cast<int>(wide.size())) > 0;
}

// Other runs may read, replace or append to our files while we hold them.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

inline bool write_at(HANDLE file, std::int64_t offset, const char* data, std::size_t size,
                     DWORD& put) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  put = 0;
  return size <= MAXDWORD && WriteFile(file, data, static_cast<DWORD>(size), &put, &at) &&
         put == size;
}

inline bool cut_at(HANDLE file, std::int64_t size) {
  FILE_END_OF_FILE_INFO end;
  end.EndOfFile.QuadPart = size;
  return SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof(end)) != 0;
}

// waits.cpp: other programs that hold our files for a moment.

// Whether the last call failed because another program holds the file (an
// antivirus scanner, an indexer or a sync client that has it open, or has
// locked a range of it, for a moment), once the run has waited a moment
// more for it; false when it failed otherwise or the deadline has passed.
// A rename or a delete meets "access denied" where an open meets a sharing
// violation.
bool waited_for_holder(bool denied_means_held = false);

// CreateFileW, tried again while another program holds the file.
HANDLE open_file(const WidePath& path, DWORD access, DWORD share, DWORD disposition,
                 SECURITY_ATTRIBUTES* security = nullptr, DWORD flags = 0);

// links.cpp: who owns what, and which reparse points we write through.

// Room for what the process token says of its user: TOKEN_USER and the SID
// after it.
struct alignas(TOKEN_USER) UserSid {
  std::array<unsigned char, 256> bytes;
};

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
SECURITY_ATTRIBUTES* owner_only(OwnerOnly& o);

// Holds the reparse point at `path` as itself when a file may be written
// through it, sharing no deletion, so that nothing takes its name meanwhile:
// a symbolic link only when it is the user's own or an administrator's; a
// kind that leads to no other name (a cloud file, a deduplicated one)
// always. (A junction is a folder, which no open of the log takes.)
HANDLE hold_reparse_point(const WidePath& path);

// interrupts.cpp: closing the console, Ctrl+C and Ctrl+Break end the run at
// once, from a thread of their own; the run tells that thread what to
// remove, or let end, first. Once one of them has come, make_temp and
// start_whole_write start nothing and wait for the process to end: a run
// that went on would show a password the log did not take.

// Installs the handler; before anything is written, so that no event can
// meet the default handling while a step below is under way.
void handle_console_events();

// Makes the temporary settings file `name`: the handler sees either the
// file, which it removes, or that none will be made. It shares deletion
// only, with the handler.
HANDLE make_temp(const WidePath& name, SECURITY_ATTRIBUTES* owner, DWORD attributes);

// The temporary file is renamed or removed: nothing left for the handler.
void forget_temp();

// Bracket a write to a file of the user's together with the cut, or the
// write back, that undoes it when it goes through only in part: the
// handler lets them end, for up to 100 ms, before the process ends.
void start_whole_write();
void end_whole_write();

}  // namespace pwdraw::win32
