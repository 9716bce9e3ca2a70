#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/neighbour.h"
#include "platform/system.h"

// A 32-bit time_t reads every clock after 2038-01-19 as an error, and a
// 32-bit off_t cannot open a log over 2 GiB. qemu-user passes file calls to
// the 64-bit kernel of its host, so no emulated test can show the second:
// this check is what guards it.
static_assert(sizeof(std::time_t) >= 8 && sizeof(off_t) >= 8,
              "build with -D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64");

namespace pwdraw {
namespace {

// The descriptor of a directory on the way to a file, which only names it:
// on Linux O_PATH, which needs no right to read it, as the kernel's own
// lookup does not.
#if defined(O_PATH)
constexpr int kDirectory = O_PATH | O_DIRECTORY;
#elif defined(O_SEARCH)
constexpr int kDirectory = O_SEARCH | O_DIRECTORY;
#else
constexpr int kDirectory = O_RDONLY | O_DIRECTORY;
#endif

// The timer only interrupts: a blocking call it lands in fails with EINTR.
extern "C" void on_deadline(int) {}

// Arms a timer that interrupts a blocking call at the run's deadline, and
// every 5 ms after it, in case one fires before the call blocks. False
// when the deadline has passed.
bool arm_deadline() {
  const long long left = neighbour_time_left();
  struct sigaction action = {};
  action.sa_handler = on_deadline;  // without SA_RESTART
  const itimerval timer = {
      {0, 5000}, {static_cast<time_t>(left / 1000000), static_cast<suseconds_t>(left % 1000000)}};
  return left > 0 && ::sigaction(SIGALRM, &action, nullptr) == 0 &&
         ::setitimer(ITIMER_REAL, &timer, nullptr) == 0;
}

void disarm_deadline() {
  const itimerval off = {};
  ::setitimer(ITIMER_REAL, &off, nullptr);
}

// Pauses before a file another program holds is tried again, where the
// kernel has no queue to wait in: an SMB share refuses a lock or a locked
// range with EACCES, and NFS or sshfs refuse with ESTALE an open that
// races a rename over the name. False, at once, past the deadline.
bool paused_for_holder() {
  const long long pause = neighbour_pause();
  if (pause <= 0) return false;
  const timespec wait = {static_cast<time_t>(pause / 1000000), static_cast<long>(pause % 1000000 * 1000)};
  ::nanosleep(&wait, nullptr);
  return true;
}

// Reads up to `size` bytes at `offset`, waiting out a locked range.
ssize_t read_at(int fd, char* data, std::size_t size, off_t offset) {
  ssize_t got;
  do {
    got = ::pread(fd, data, size, offset);
  } while (got < 0 && (errno == EINTR || (errno == EACCES && paused_for_holder())));
  return got;
}

// O_NONBLOCK: a FIFO or terminal named like our files must not hang the
// run; it reads as empty or refuses the write. On a regular file an open
// that conflicts with another program's lease then fails at once and asks
// the holder to let go; only then is the open made again, to wait in the
// kernel's queue for the release, so that a holder that takes the file
// again at once cannot starve us. The timer bounds that wait, and any open
// that would wait for a FIFO swapped in meanwhile.
int open_at(int dir, const char* name, int flags) {
  constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;
  int fd;
  do {
    fd = ::openat(dir, name, flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, kOwnerOnly);
  } while (fd < 0 && (errno == EINTR || (errno == ESTALE && paused_for_holder())));
  if (fd >= 0 || errno != EWOULDBLOCK || !arm_deadline()) return fd;
  do {
    fd = ::openat(dir, name, flags | O_CLOEXEC | O_NOCTTY, kOwnerOnly);
  } while (fd < 0 && errno == EINTR && neighbour_time_left() > 0);
  const int error = errno;
  disarm_deadline();
  errno = error;
  return fd;
}

// A file that cannot be flushed, such as a FIFO, refuses with EINVAL: there
// is nothing on a disk to wait for.
bool flush_file(int fd) {
#if defined(_POSIX_SYNCHRONIZED_IO) && _POSIX_SYNCHRONIZED_IO > 0
  const int flushed = ::fdatasync(fd);
#else
  const int flushed = ::fsync(fd);
#endif
  return flushed == 0 || errno == EINVAL;
}

// A name made or changed in a directory lasts only once the directory is
// flushed too.
void flush_directory(int dir) {
  const int fd = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool is_trusted(uid_t owner) { return owner == ::geteuid() || owner == 0; }

// Whether only the user who runs us, or root, can change what the names
// in `dir` lead to: a directory of theirs that no one else may write to,
// or a sticky one, where no one else may rename or remove their entries.
bool is_safe_directory(int dir) {
  struct stat where;
  return ::fstatat(dir, ".", &where, 0) == 0 && is_trusted(where.st_uid) &&
         ((where.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (where.st_mode & S_ISVTX) != 0);
}

// Whether this run may write `file`: a regular file of the user who runs
// us, which that user has not made read-only. Root may write any file, so
// neither rule is left to the kernel: another user's file (one prepared for
// us in a shared directory) or a read-only one keeps its bytes whoever runs.
bool may_write(const struct stat& file) {
  return S_ISREG(file.st_mode) && file.st_uid == ::geteuid() && (file.st_mode & S_IWUSR) != 0;
}

// Whether an open with O_NOFOLLOW failed because the name is a link.
bool is_link(int error) {
#ifdef EFTYPE
  if (error == EFTYPE) return true;  // NetBSD
#endif
  return error == ELOOP || error == EMLINK;  // EMLINK: FreeBSD
}

bool same_inode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

using Path = std::array<char, PATH_MAX>;
using ProcName = std::array<char, 32>;

// The name under /proc of the file open at `fd`: opening or linking it
// reaches that very file, whatever its names have become.
const char* proc_name(int fd, ProcName& name) {
  (void)std::snprintf(name.data(), name.size(), "/proc/self/fd/%d", fd);
  return name.data();
}

// Reads the link `name` in `dir` into `target` when no other user can
// have made or changed it: a link of the user who runs us, or of root, in
// a safe directory. Returns the length, or -1.
ssize_t read_trusted_link(int dir, const char* name, Path& target) {
  if (!is_safe_directory(dir)) return -1;
  struct stat link;
  ssize_t length = -1;
#ifdef O_PATH
  // The link read is the very entry checked.
  const int fd = ::openat(dir, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::fstat(fd, &link) == 0 && S_ISLNK(link.st_mode) && is_trusted(link.st_uid)) {
    length = ::readlinkat(fd, "", target.data(), target.size());
  }
  ::close(fd);
#else
  // Two looks that must agree; in a safe directory no one else can swap
  // the entry between them anyway.
  struct stat again;
  if (::fstatat(dir, name, &link, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(link.st_mode) &&
      is_trusted(link.st_uid)) {
    length = ::readlinkat(dir, name, target.data(), target.size());
    if (::fstatat(dir, name, &again, AT_SYMLINK_NOFOLLOW) != 0 || !same_inode(link, again) ||
        again.st_uid != link.st_uid) {
      length = -1;
    }
  }
#endif
  return length < static_cast<ssize_t>(target.size()) ? length : -1;
}

// A file, the directory whose entry names it (AT_FDCWD or a descriptor the
// caller closes), and the entry's name there.
struct Opened {
  int fd = -1;
  int dir = AT_FDCWD;
  std::array<char, NAME_MAX + 1> name = {};
};

void close_opened(const Opened& opened) {
  if (opened.fd >= 0) ::close(opened.fd);
  if (opened.dir != AT_FDCWD) ::close(opened.dir);
}

// Whether an open with `flags` and O_NOFOLLOW may have failed with `error`
// because the name is a link: O_EXCL refuses a link as a name taken.
bool may_be_link(int error, int flags) {
  return is_link(error) || (error == EEXIST && (flags & O_EXCL) != 0);
}

// Opens `path` with `flags`, following symbolic links one step at a time
// from directory descriptors, and only links no other user can have made
// or changed (see read_trusted_link), so that what was checked is what is
// opened or created. A plain name of a file is opened at once; a way that
// fails the rule reads as no file (ENOENT).
Opened open_own(const char* path, int flags) {
  Opened opened;
  opened.fd = open_at(AT_FDCWD, path, flags | O_NOFOLLOW);
  if (opened.fd >= 0 || !may_be_link(errno, flags)) {
    (void)std::snprintf(opened.name.data(), opened.name.size(), "%s", path);
    return opened;
  }
  Path rest, target;
  if (std::snprintf(rest.data(), rest.size(), "%s", path) >= static_cast<int>(rest.size())) {
    return opened;
  }
  opened.dir = ::openat(AT_FDCWD, ".", kDirectory | O_CLOEXEC);
  const char* at = rest.data();
  for (int links = 0; opened.dir >= 0 && links <= 40;) {
    while (*at == '/') ++at;
    const char* end = std::strchr(at, '/');
    auto& name = opened.name;
    const std::size_t size = end != nullptr ? static_cast<std::size_t>(end - at) : std::strlen(at);
    if (size == 0 || size >= name.size()) break;
    std::memcpy(name.data(), at, size);
    name[size] = '\0';
    if (end == nullptr) {
      opened.fd = open_at(opened.dir, name.data(), flags | O_NOFOLLOW);
      if (opened.fd >= 0 || !may_be_link(errno, flags)) return opened;
    } else {
      const int next = ::openat(opened.dir, name.data(), kDirectory | O_NOFOLLOW | O_CLOEXEC);
      if (next >= 0) {
        ::close(opened.dir);
        opened.dir = next;
        at = end;
        continue;
      }
    }
    const ssize_t length = read_trusted_link(opened.dir, name.data(), target);
    if (length <= 0) break;
    target[static_cast<std::size_t>(length)] = '\0';
    Path joined;
    const int joined_size = std::snprintf(joined.data(), joined.size(), "%s%s", target.data(),
                                          end != nullptr ? end : "");
    if (joined_size < 0 || joined_size >= static_cast<int>(joined.size())) break;
    rest = joined;
    at = rest.data();
    if (*at == '/') {
      ::close(opened.dir);
      opened.dir = ::openat(AT_FDCWD, "/", kDirectory | O_CLOEXEC);
    }
    ++links;
  }
  close_opened(opened);
  errno = ENOENT;
  return Opened{};
}

// The signals that end a run from a terminal or a supervisor: interrupt,
// termination, hang-up, quit.
constexpr std::array<int, 4> kEndingSignals = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// Holds the ending signals while we write into a file that holds the user's
// data; returns the mask to give back. A signal whose action is to end the
// process makes the kernel stop a write between two pages of the file, and
// the process then ends before the cut-back runs: part of a line stays.
// Held, it ends the run as the mask is given back, once the bytes are whole
// or cut back. A caught signal would end no more waits than a held one: a
// write to a local disk waits for nothing a signal ends, and NFS, SMB and
// 9p wait for their servers in waits that only a signal that kills ends.
sigset_t hold_ending_signals() {
  sigset_t ending, before;
  ::sigemptyset(&ending);
  for (const int signal : kEndingSignals) ::sigaddset(&ending, signal);
  ::sigprocmask(SIG_BLOCK, &ending, &before);
  return before;
}

void release_ending_signals(const sigset_t& before) { ::sigprocmask(SIG_SETMASK, &before, nullptr); }

// Where the directory takes no new file, the old one is overwritten, only
// when the new text fits in it: no new block is needed, and the old bytes
// go back when the write or the cut fails.
void write_in_place(const char* path, const char* data, std::size_t size) {
  const int fd = open_at(AT_FDCWD, path, O_RDWR | O_NOFOLLOW);
  if (fd < 0) return;
  std::array<char, 2048> old;
  struct stat now;
  // A second name would make this write land in another file as well. The
  // old bytes to keep are there only when the new text fits.
  if (::fstat(fd, &now) == 0 && may_write(now) && now.st_nlink == 1 && size <= old.size() &&
      read_at(fd, old.data(), size, 0) == static_cast<ssize_t>(size)) {
    const sigset_t held = hold_ending_signals();
    if (!write_file(fd, data, size) || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
      if (::lseek(fd, 0, SEEK_SET) == 0) write_file(fd, old.data(), size);
    }
    release_ending_signals(held);
    flush_file(fd);
  }
  ::close(fd);
}

using Dispositions = std::array<struct sigaction, kEndingSignals.size()>;

// The name our temporary file has while temp_named is set, for the handler
// to remove when a signal ends the run.
Path temp_name;
volatile std::sig_atomic_t temp_named = 0;

extern "C" void remove_temp_and_end(int signal) {
  if (temp_named != 0) ::unlink(temp_name.data());
  (void)::signal(signal, SIG_DFL);
  (void)::raise(signal);  // delivered as the handler returns
}

// Makes the ending signals remove the temporary file before they end the
// run. Holding them back instead would keep a run that an open has stuck
// on a stalled scanner from ending at all. One its caller ignores stays
// ignored.
void catch_ending_signals(Dispositions& saved) {
  struct sigaction action = {};
  action.sa_handler = remove_temp_and_end;
  ::sigfillset(&action.sa_mask);
  for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
    if (::sigaction(kEndingSignals[i], nullptr, &saved[i]) == 0 && saved[i].sa_handler != SIG_IGN) {
      ::sigaction(kEndingSignals[i], &action, nullptr);
    }
  }
}

void restore_ending_signals(const Dispositions& saved) {
  for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
    ::sigaction(kEndingSignals[i], &saved[i], nullptr);
  }
}

// Sets temp_name to a new "." + `path` + six letters or digits: hidden
// where names with a leading dot are, and matched by no wildcard that
// starts with `path`. The letters come from the process, the attempt and
// the clock, never from the password draw.
bool next_temp_name(const char* path, unsigned attempt) {
  static constexpr char kLetters[] =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  timespec now = {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  std::uint64_t mix = static_cast<std::uint64_t>(::getpid()) * 2654435761u ^
                      static_cast<std::uint64_t>(now.tv_nsec) ^ std::uint64_t{attempt} << 40;
  std::array<char, 7> letters = {};
  for (std::size_t i = 0; i + 1 < letters.size(); ++i, mix /= sizeof kLetters - 1) {
    letters[i] = kLetters[mix % (sizeof kLetters - 1)];
  }
  const int length =
      std::snprintf(temp_name.data(), temp_name.size(), ".%s.%s", path, letters.data());
  return length > 0 && length < static_cast<int>(temp_name.size());
}

// Gives the unnamed file open at `fd` the name `name`, if no file has it.
bool link_unnamed(int fd, const char* name) {
#ifdef AT_EMPTY_PATH
  if (::linkat(fd, "", AT_FDCWD, name, AT_EMPTY_PATH) == 0) return true;
  if (errno == EEXIST) return false;
#endif
  // Linking an open file by its descriptor needs a privilege; through /proc
  // it needs none.
  ProcName self;
  return ::linkat(AT_FDCWD, proc_name(fd, self), AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0;
}

// Gives the new file, `fd` when it was made unnamed and -1 otherwise, a
// temporary name: links it there, or creates it there. Returns the open
// file, or -1 with no name made.
int name_temp(const char* path, int fd) {
  for (unsigned attempt = 0; attempt < 100 && next_temp_name(path, attempt); ++attempt) {
    temp_named = 1;  // from before the name exists, so no moment goes uncovered
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (fd >= 0) {
      if (link_unnamed(fd, temp_name.data())) return fd;
    } else {
      const int made =
          open_at(AT_FDCWD, temp_name.data(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW);
      if (made >= 0) return made;
    }
    temp_named = 0;
    if (errno != EEXIST) break;
  }
  return -1;
}

// Renames the new file over `path`. An SMB share refuses while another
// program has `path` open: the rename is tried again until the deadline.
bool rename_over(const char* path) {
  while (::rename(temp_name.data(), path) != 0) {
    if (errno != EACCES || !paused_for_holder()) return false;
  }
  return true;
}

// Gives the new file the name `path` only while no file has it, so that a
// file another run renamed into place meanwhile stays. Where the file system
// can neither rename without replacing nor link (FAT, exFAT), it looks once
// more just before the rename.
bool name_if_free(const char* path) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, temp_name.data(), AT_FDCWD, path, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
#endif
  if (::link(temp_name.data(), path) == 0) {
    ::unlink(temp_name.data());
    return true;
  }
  struct stat taken;
  return (errno == EPERM || errno == ENOSYS || errno == EOPNOTSUPP) && ::lstat(path, &taken) != 0 &&
         errno == ENOENT && ::rename(temp_name.data(), path) == 0;
}

// Takes the lock every run takes to append; false when another program
// still holds it at the deadline. The wait after the first try is made in
// the kernel's queue, so the holder's release serves us. An SMB share turns
// the lock into the server's byte-range lock, refused with EACCES while
// another holds it, and waits for it where no timer can end the wait: there
// the lock is tried again after pauses.
bool lock_file(int fd) {
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && (errno == EINTR || (errno == EACCES && paused_for_holder())));
  if (locked == 0) return true;
  if (errno != EWOULDBLOCK || !arm_deadline()) return false;
  do {
    locked = ::flock(fd, LOCK_EX);
  } while (locked != 0 && errno == EINTR && neighbour_time_left() > 0);
  disarm_deadline();
  return locked == 0;
}

// Whether a line added at `size` starts a line of its own. A file we may
// not read is taken to end its last line.
bool ends_a_line(int fd, off_t size) {
  char last = '\n';
  return size == 0 || read_at(fd, &last, 1, size - 1) != 1 || last == '\n';
}

// Whether the zone file open at `fd` is one the C library may read: a
// regular file no larger than 1 MiB (the largest real ones hold a few KiB)
// whose header claims no more than the file holds. The library allocates
// what the header claims and reads it, sparse or not. Leaves in `file`
// what fstat tells of it.
bool is_usable_zone(int fd, struct stat& file) {
  constexpr off_t kMaxZoneSize = off_t{1} << 20;
  if (::fstat(fd, &file) != 0 || !S_ISREG(file.st_mode) || file.st_size > kMaxZoneSize) {
    return false;
  }
  std::uint64_t at = 0;
  for (int block = 0; block < 2; ++block) {
    std::array<unsigned char, 44> header;
    if (::pread(fd, header.data(), header.size(), static_cast<off_t>(at)) !=
            static_cast<ssize_t>(header.size()) ||
        std::memcmp(header.data(), "TZif", 4) != 0) {
      return true;  // not a zone file: the library reads it as none
    }
    std::array<std::uint64_t, 6> count;  // UT/local, standard/wall, leap, times, types, chars
    for (std::size_t i = 0; i < count.size(); ++i) {
      const unsigned char* b = &header[20 + 4 * i];
      count[i] =
          std::uint64_t{b[0]} << 24 | std::uint64_t{b[1]} << 16 | std::uint64_t{b[2]} << 8 | b[3];
    }
    const std::uint64_t time_size = block == 0 ? 4 : 8;
    at += header.size() + count[3] * (time_size + 1) + count[4] * 6 + count[5] +
          count[2] * (time_size + 4) + count[1] + count[0];
    if (at > static_cast<std::uint64_t>(file.st_size)) return false;
    if (header[4] < '2') break;  // no second block, of 64-bit times
  }
  return true;
}

// Whether a TZ rule has a summer time but no dates of change ("EST5EDT"),
// for which the C library reads the dates from "posixrules".
bool needs_default_rules(const char* rule) {
  const char* at = rule;
  if (*at == '<') {
    while (*at != '\0' && *at != '>') ++at;
  } else {
    while ((*at >= 'A' && *at <= 'Z') || (*at >= 'a' && *at <= 'z')) ++at;
  }
  while (*at != '\0' && std::strchr("<>+-:0123456789", *at) != nullptr) ++at;
  return *at != '\0' && std::strchr(rule, ',') == nullptr;
}

// What open_zone returns for a name that is there but no regular file.
constexpr int kNotRegular = -3;

// Opens the zone file `name` as the C library would find it; -1 when
// there is none.
int open_zone(const char* name) {
  const char* directory = std::getenv("TZDIR");
  if (directory == nullptr || *directory == '\0') directory = "/usr/share/zoneinfo";
  Path path;
  const int length = *name == '/'
                         ? std::snprintf(path.data(), path.size(), "%s", name)
                         : std::snprintf(path.data(), path.size(), "%s/%s", directory, name);
  if (length <= 0 || length >= static_cast<int>(path.size())) return -1;
  // Only a regular file is opened: opening a device can do more than read.
  struct stat file;
  if (::stat(path.data(), &file) != 0) return -1;
  if (!S_ISREG(file.st_mode)) return kNotRegular;
  return ::open(path.data(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// Makes the zone file TZ leads to safe for the C library to read: one
// that is not a usable zone file (a FIFO, a terminal, a directory, a
// header claiming more than is there) is not used, and the machine's zone
// is. On Linux the library is handed the very file checked, as
// /proc/self/fd/N, so no swap of the name after the check reaches it. The
// "posixrules" of a rule without dates cannot be handed over like that: the
// library opens it by name, under the run's deadline. Returns the
// descriptor to close after the conversion, or -1; `bounded` tells whether
// the conversion must run under the deadline.
int check_zone(bool& bounded) {
  bounded = false;
  const char* zone = std::getenv("TZ");
  if (zone == nullptr) return -1;
  if (*zone == ':') ++zone;
  if (*zone == '\0') zone = "Universal";
  int fd = open_zone(zone);
  if (fd == -1 && errno == ENOENT && needs_default_rules(zone)) {
    fd = open_zone("posixrules");
    bounded = fd >= 0;
  }
  struct stat checked, seen;
  if (fd == kNotRegular || (fd >= 0 && !is_usable_zone(fd, checked))) {
    ::unsetenv("TZ");
    bounded = false;
  } else if (fd >= 0 && !bounded) {
    ProcName self;
    if (::stat(proc_name(fd, self), &seen) == 0 && same_inode(checked, seen)) {
      ::setenv("TZ", self.data(), 1);
      return fd;
    }
  }
  if (fd >= 0) ::close(fd);
  return -1;
}

// Opens the log to append to, with read access where the user has it, to
// tell how it ends; a log we may only write still takes the line. A missing
// one is made with O_EXCL, so that `made` tells whether this run made it.
Opened open_log(const char* path, bool& made) {
  int access = O_RDWR;
  made = false;
  for (int tries = 0; tries < 4; ++tries) {
    const Opened log = open_own(path, access | O_APPEND | (made ? O_CREAT | O_EXCL : 0));
    const int error = errno;
    if (log.fd >= 0) return log;
    close_opened(log);
    if (error == EACCES && access == O_RDWR) {
      access = O_WRONLY;
    } else if (error == ENOENT || error == EEXIST) {
      made = error == ENOENT;  // EEXIST: another run made it since we looked
    } else {
      break;
    }
  }
  return Opened{};
}

// Adds the line at the end of the log open at `fd`, which held `size`
// bytes under the lock, after a CR LF where those do not end a line; the
// file gains all of it or none. Returns whether the line went in.
bool put_line(int fd, off_t size, const char* data, std::size_t length, int dir) {
  char crlf[] = {'\r', '\n'};
  iovec parts[] = {{crlf, sizeof crlf}, {const_cast<char*>(data), length}};
  const int first = ends_a_line(fd, size) ? 1 : 0;
  const std::size_t total = length + (first == 0 ? sizeof crlf : 0);
  ssize_t put;
  int error;
  do {
    const sigset_t held = hold_ending_signals();
    do {
      put = ::writev(fd, parts + first, 2 - first);
    } while (put < 0 && errno == EINTR);
    error = errno;
    if (put > 0 && static_cast<std::size_t>(put) < total) {
      // A partial line would be glued to the next run's line. The lock
      // keeps our runs out meanwhile, and the size check any other writer.
      const off_t end = ::lseek(fd, 0, SEEK_CUR);
      struct stat now;
      if (end >= put && ::fstat(fd, &now) == 0 && now.st_size == end &&
          ::ftruncate(fd, end - put) == 0) {
        put = 0;
      }
    }
    // A run that finds the log empty may have made it: the file and its
    // name last before the lock lets another run find it not empty and
    // show a line that a power cut would take with them. Any other run
    // need not keep the next one waiting for its flush.
    if (put > 0 && size == 0) {
      flush_file(fd);
      flush_directory(dir);
    }
    release_ending_signals(held);
    // An SMB share refuses the write while another holds a lock on the file.
  } while (put < 0 && error == EACCES && paused_for_holder());
  return put > 0;
}

}  // namespace

int open_for_reading(const char* path) {
  const Opened opened = open_own(path, O_RDONLY);
  const int error = errno;
  if (opened.dir != AT_FDCWD) ::close(opened.dir);
  return opened.fd < 0 && error == ENOENT ? kNoFile : opened.fd;
}

long read_file(int fd, char* data, std::size_t size) {
  ssize_t got;
  do {
    got = ::read(fd, data, size);
  } while (got < 0 && (errno == EINTR || (errno == EACCES && paused_for_holder())));
  return static_cast<long>(got);
}

bool write_file(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd, data, size);
    if (put < 0 && (errno == EINTR || (errno == EACCES && paused_for_holder()))) continue;
    if (put <= 0) return false;
    data += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

void close_file(int fd) { ::close(fd); }

int standard_output() { return STDOUT_FILENO; }

void replace_file(const char* path, const char* data, std::size_t size, bool found) {
  struct stat old;
  const bool exists = ::lstat(path, &old) == 0;
  if (!exists && errno != ENOENT) return;
  // A file the caller did not find has since been renamed into place by
  // another run, with the user's values or ones it corrected: it stays.
  if (exists && (!found || !may_write(old))) return;

  // Made without a name where the system can, and named only once written
  // and flushed: a run ended before, even while its open waits on a
  // stalled scanner, leaves nothing behind.
  int fd = -1;
#ifdef O_TMPFILE
  fd = open_at(AT_FDCWD, ".", O_TMPFILE | O_WRONLY);
#endif
  const bool unnamed = fd >= 0;
  Dispositions saved = {};
  bool caught = !unnamed;
  if (caught) {
    catch_ending_signals(saved);
    fd = name_temp(path, -1);
    if (fd < 0) {
      restore_ending_signals(saved);
      if (exists) write_in_place(path, data, size);
      return;
    }
  }
  ::fchmod(fd, exists ? old.st_mode & 07777 : S_IRUSR | S_IWUSR);
  bool written = write_file(fd, data, size) && flush_file(fd);
  bool named = false;
  if (unnamed && !exists) {
    // Whole before it has a name, and then only the name free: nothing for
    // a signal to remove.
    named = written && link_unnamed(fd, path);
  } else {
    if (unnamed && written) {
      catch_ending_signals(saved);
      caught = true;
      written = name_temp(path, fd) >= 0;
    }
    named = written && (exists ? rename_over(path) : name_if_free(path));
  }
  ::close(fd);
  if (temp_named != 0 && !named) ::unlink(temp_name.data());
  temp_named = 0;
  if (caught) restore_ending_signals(saved);
  if (named) flush_directory(AT_FDCWD);
}

void append_file(const char* path, const char* data, std::size_t size) {
  // Twice at most: a file that another run made and removed (below) before
  // we held it is made again, or the one made meanwhile is found.
  for (int tries = 0; tries < 2; ++tries) {
    bool made = false;
    const Opened log = open_log(path, made);
    if (log.fd < 0) return;
    const int fd = log.fd;
    const bool locked = lock_file(fd);
    struct stat before;
    if (::fstat(fd, &before) != 0 || before.st_nlink == 0) {
      close_opened(log);
      continue;
    }
    // A second name that another user can change is how a file of ours is
    // made to take lines meant for another (the hard link the kernel's
    // protected_hardlinks would refuse to make).
    if (!may_write(before) || (before.st_nlink > 1 && !is_safe_directory(log.dir))) {
      // Where a mount shows every file as one user's (FAT, exFAT or NTFS
      // mounted for one user, sshfs, NFS with root squashed), a log we made
      // is not ours either: it goes rather than stay empty.
      struct stat named;
      if (made && before.st_size == 0 &&
          ::fstatat(log.dir, log.name.data(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
          same_inode(named, before)) {
        ::unlinkat(log.dir, log.name.data(), 0);
      }
      close_opened(log);
      return;
    }
    const bool put = put_line(fd, before.st_size, data, size, log.dir);
    if (locked) ::flock(fd, LOCK_UN);
    // A run that found the log empty flushed before it let go of the lock.
    if (put && before.st_size != 0) flush_file(fd);
    close_opened(log);
    return;
  }
}

bool same_file(const char* path, const char* other) {
  struct stat a, b;
  return ::stat(path, &a) == 0 && ::stat(other, &b) == 0 && same_inode(a, b);
}

void prepare_process() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      // open() returns the lowest free descriptor, which is this one.
      ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
  }
  // Nothing better to do if either fails.
  (void)::signal(SIGPIPE, SIG_IGN);
  (void)::signal(SIGXFSZ, SIG_IGN);
}

bool to_local_time(std::time_t time, std::tm& local) {
  bool bounded = false;
  const int zone = check_zone(bounded);
  bounded = bounded && arm_deadline();
  // localtime_r, unlike localtime, need not look at the time zone again.
  ::tzset();
  const bool converted = ::localtime_r(&time, &local) != nullptr;
  if (bounded) disarm_deadline();
  if (zone >= 0) ::close(zone);
  return converted;
}

}  // namespace pwdraw
