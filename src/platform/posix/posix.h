// What several of the POSIX files share, and nothing that only one needs:
// the bounded open, the walk to our files, the flushes, and the holding of
// the signals that end a run. The rest of the program includes system.h.
#pragma once

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <array>
#include <cstddef>

namespace pwdraw::posix {

using Path = std::array<char, PATH_MAX>;
using ProcName = std::array<char, 32>;

/// The name under /proc of the file open at `fd`: opening or linking it
/// reaches that very file, whatever its names have become.
const char* proc_name(int fd, ProcName& name);

bool same_inode(const struct stat& a, const struct stat& b);

// links.cpp: the way to our files.

/// Whether this run may write `file`: a regular file of the user who runs
/// us, which that user has not made read-only.
bool may_write(const struct stat& file);

/// Whether only the user who runs us, or root, can change what the names
/// in `dir` lead to.
bool is_safe_directory(int dir);

/// A file, the directory whose entry names it (AT_FDCWD or a descriptor the
/// caller closes), and the entry's name there.
struct Opened {
  int fd = -1;
  int dir = AT_FDCWD;
  std::array<char, NAME_MAX + 1> name = {};
};

void close_opened(const Opened& opened);

/// Opens `path` with `flags`, following only links no other user can have
/// made or changed, one step at a time from directory descriptors; a way
/// that fails that rule reads as no file (ENOENT). With O_EXCL, a name
/// taken by a file rather than a link fails with EEXIST.
Opened open_own(const char* path, int flags);

// waits.cpp: other programs that hold our files, waited out within the
// run's deadline.

/// Arms a timer that makes a blocking call fail with EINTR at the run's
/// deadline; false when the deadline has passed.
bool arm_deadline();
void disarm_deadline();

/// openat that never hangs on a FIFO or terminal, waits for a lease in the
/// kernel's queue, and tries again an open refused as stale.
int open_at(int dir, const char* name, int flags);

/// pread that waits out a locked range.
ssize_t read_at(int fd, char* data, std::size_t size, off_t offset);

/// Pauses before something another program holds is tried again where the
/// kernel has no queue to wait in; false, at once, past the deadline.
bool paused_for_holder();

/// Takes the lock every run takes to append; false when another program
/// still holds it at the deadline.
bool lock_file(int fd);

// replace.cpp and smb_share.cpp: the new settings file, at temp.name, takes
// its name.

/// Gives the new file the name `path` only while no file has it.
bool name_if_free(const char* path);

/// Renames the new file over `path`, within the deadline.
bool rename_over(const char* path);

/// Whether the working directory is on an SMB share, through Linux's client.
bool on_smb_share();

/// Renames the new file, open at `fd`, over `path` on an SMB share.
bool rename_on_smb(const char* path, int fd);

// process.cpp: descriptors.

/// Flushes the file's data to the disk; true also where there is no disk.
bool flush_file(int fd);

/// Makes a name made or changed in `dir` last.
void flush_directory(int dir);

// interrupts.cpp: the signals that end a run.

/// Holds interrupt, termination, hang-up and quit while we write into a
/// file that holds the user's data; returns the mask to give back.
sigset_t hold_ending_signals();
void release_ending_signals(const sigset_t& before);

/// The name of our temporary file, while `named` is set: a signal that ends
/// the run removes it first, between catch and restore below.
struct TempFile {
  // A name in the working directory, so NAME_MAX bounds it: PATH_MAX would
  // add 4 KiB of zeroes before the C library's own variables, spreading
  // those every run touches over one page more.
  std::array<char, NAME_MAX + 1> name;
  volatile sig_atomic_t named;
};
extern TempFile temp;

using Dispositions = std::array<struct sigaction, 4>;
void catch_ending_signals(Dispositions& saved);
void restore_ending_signals(const Dispositions& saved);

}  // namespace pwdraw::posix
