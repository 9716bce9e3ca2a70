// Replacing settings.ini on an SMB share through Linux's client, which
// answers a rename refused over a file another program has open by deleting
// that file itself: the rename waits until no one has the file open.
#ifdef __linux__
#include <sys/statfs.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/neighbour.h"
#include "platform/posix/posix.h"

namespace pwdraw {
namespace {

using namespace posix;

// Where the share grants this client no lease (see rename_on_smb), the old
// file first moves aside, which the server allows while it is open, the new
// one takes the name, now free, and the old one goes. A reader between the
// two renames finds no file; an ending signal waits for both.
bool rename_aside(const char* path) {
  std::array<char, NAME_MAX + 2> aside;
  const int length = std::snprintf(aside.data(), aside.size(), "%s~", temp.name.data());
  if (length <= 0 || length >= static_cast<int>(aside.size())) return false;
  for (;;) {
    const sigset_t held = hold_ending_signals();
    const bool moved = ::rename(path, aside.data()) == 0;
    const int error = errno;
    const bool named = moved && name_if_free(path);
    if (named) {
      ::unlink(aside.data());
    } else if (moved) {
      // The old one back only while the name is free: a rename over a file
      // another run put there meanwhile could make the client delete it.
#ifdef RENAME_NOREPLACE
      if (::renameat2(AT_FDCWD, aside.data(), AT_FDCWD, path, RENAME_NOREPLACE) != 0 &&
          errno == EEXIST) {
        ::unlink(aside.data());
      }
#else
      ::rename(aside.data(), path);
#endif
    }
    release_ending_signals(held);
    if (moved || error != EACCES || !paused_for_holder()) return named;
  }
}

// Whether a write lease on the file open at `fd` can be had: only while no
// other program has it open, on this machine or (on an SMB share) another
// client. It is let go at once; SIGIO, which a program that opens the file
// meanwhile would have sent to us, and which would end the run, is ignored.
bool lease_free(int fd) {
#ifdef F_SETLEASE
  struct sigaction ignore = {}, saved = {};
  ignore.sa_handler = SIG_IGN;
  if (::sigaction(SIGIO, &ignore, &saved) != 0) return false;
  const bool free = ::fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
  if (free) ::fcntl(fd, F_SETLEASE, F_UNLCK);
  ::sigaction(SIGIO, &saved, nullptr);
  return free;
#else
  static_cast<void>(fd);
  return false;
#endif
}

// Whether a program, here or on another client, may have `path` open.
bool held_elsewhere(const char* path) {
  const int fd = open_at(AT_FDCWD, path, O_RDONLY | O_NOFOLLOW);
  if (fd < 0) return errno != ENOENT;
  const bool free = lease_free(fd);
  ::close(fd);
  return !free;
}

}  // namespace

// Whether the working directory is on an SMB share, through Linux's client.
bool posix::on_smb_share() {
#ifdef __linux__
  constexpr unsigned long kCifs = 0xFF534D42, kSmb2 = 0xFE534D42;
  struct statfs share;
  return ::statfs(".", &share) == 0 && (static_cast<unsigned long>(share.f_type) == kCifs ||
                                        static_cast<unsigned long>(share.f_type) == kSmb2);
#else
  return false;
#endif
}

// Linux's SMB client, refused a rename over a file another program has
// open, deletes that file itself (it goes once the program closes it), and
// moving the old file aside first can stall 35 s on a lease break that the
// client answers wrongly (see system.h). So the rename waits, within the
// deadline, until a write lease shows that no one else has the file open;
// past it the old file stays. The new file, open by this run alone, shows
// whether the share grants leases at all; where not, the old file moves
// aside, which then breaks no lease of this client.
bool posix::rename_on_smb(const char* path, int fd) {
  if (!lease_free(fd)) return rename_aside(path);
  // Half the deadline at most: the log line, which comes next and must be
  // written if the password is to be shown, may need the rest.
  constexpr long long kLeftForTheLog = 1000000;
  while (held_elsewhere(path)) {
    if (neighbour_time_left() <= kLeftForTheLog || !paused_for_holder()) return false;
  }
  return rename_over(path);
}

}  // namespace pwdraw
