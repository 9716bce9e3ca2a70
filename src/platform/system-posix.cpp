#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

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

// O_NONBLOCK: a FIFO or terminal named like our files must not hang the
// run; it reads as empty or refuses the write. On a regular file it makes
// an open that conflicts with another program's lease fail with EWOULDBLOCK
// (and ask the holder to let go) instead of waiting up to 45 s for it.
int open_path(const char* path, int flags) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC | O_NONBLOCK, S_IRUSR | S_IWUSR);
  } while (fd < 0 && (errno == EINTR || (errno == EWOULDBLOCK && wait_for_neighbour())));
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

// A name made or changed in the directory lasts only once the directory is
// flushed too.
void flush_directory() {
  const int fd = open_path(".", O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
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

// Opens `path`, following a symbolic link only when the user who runs us
// owns it: following a link another user planted is how root is made to
// write where it must not. Anyone else's link reads as no file. The file
// opened must be the one the link named when it was checked, so a link
// swapped in meanwhile gains nothing; a dangling link of ours creates its
// file only where no file is (O_EXCL), and through no further link.
int open_own(const char* path, int flags) {
  int fd = open_path(path, flags | O_NOFOLLOW);
  if (fd >= 0 || !is_link(errno)) return fd;
  struct stat link, named, opened;
  if (::lstat(path, &link) != 0 || !S_ISLNK(link.st_mode) || link.st_uid != ::geteuid()) {
    errno = ENOENT;
    return -1;
  }
  if (::stat(path, &named) == 0) {
    fd = open_path(path, flags & ~O_CREAT);
    if (fd >= 0 && (::fstat(fd, &opened) != 0 || !same_inode(opened, named))) {
      ::close(fd);
      errno = EACCES;
      return -1;
    }
    return fd;
  }
  if (errno != ENOENT || (flags & O_CREAT) == 0) return -1;
  std::array<char, 4096> target;
  const ssize_t length = ::readlink(path, target.data(), target.size() - 1);
  if (length <= 0 || ::lstat(path, &named) != 0 || !same_inode(named, link) ||
      named.st_uid != link.st_uid) {
    errno = EACCES;
    return -1;
  }
  target[static_cast<std::size_t>(length)] = '\0';
  return open_path(target.data(), flags | O_EXCL | O_NOFOLLOW);
}

// Where the directory takes no new file, the old one is overwritten, only
// when the new text fits in it: no new block is needed, and the old bytes
// go back when the write or the cut fails.
void write_in_place(const char* path, const char* data, std::size_t size) {
  const int fd = open_path(path, O_RDWR | O_NOFOLLOW);
  if (fd < 0) return;
  std::array<char, 2048> old;
  struct stat now;
  // A second name would make this write land in another file as well. The
  // old bytes to keep are there only when the new text fits.
  if (::fstat(fd, &now) == 0 && may_write(now) && now.st_nlink == 1 && size <= old.size() &&
      ::pread(fd, old.data(), size, 0) == static_cast<ssize_t>(size)) {
    if (!write_file(fd, data, size) || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
      if (::lseek(fd, 0, SEEK_SET) == 0) write_file(fd, old.data(), size);
    }
    flush_file(fd);
  }
  ::close(fd);
}

constexpr std::array<int, 4> kEndingSignals = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// Holds back the signals that end a run from a terminal or a supervisor
// (interrupt, termination, hang-up, quit) while a temporary file of ours
// exists, so that none is left behind. Returns the mask to restore, in
// which those held by whoever started us stay held.
sigset_t hold_signals() {
  sigset_t ending, before;
  ::sigemptyset(&ending);
  for (const int signal : kEndingSignals) ::sigaddset(&ending, signal);
  if (::sigprocmask(SIG_BLOCK, &ending, &before) != 0) ::sigprocmask(SIG_SETMASK, nullptr, &before);
  return before;
}

// One that came in the meantime takes effect now.
void release_signals(const sigset_t& before) { ::sigprocmask(SIG_SETMASK, &before, nullptr); }

// Takes the lock every run takes to append; false when another program
// still holds it at the deadline.
bool lock_file(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR && (errno != EWOULDBLOCK || !wait_for_neighbour())) return false;
  }
  return true;
}

// Whether a line added at `size` starts a line of its own. A file we may
// not read is taken to end its last line.
bool ends_a_line(int fd, off_t size) {
  char last = '\n';
  return size == 0 || ::pread(fd, &last, 1, size - 1) != 1 || last == '\n';
}

// The C library opens the file TZ names, as an absolute path or under
// TZDIR, and reads it: a FIFO or terminal there would hang the run. An
// empty TZ names "Universal". A name that is no file at all is left for the
// library to read as a rule such as "EST5EDT".
void drop_unusable_zone() {
  const char* zone = std::getenv("TZ");
  if (zone == nullptr) return;
  if (*zone == ':') ++zone;
  if (*zone == '\0') zone = "Universal";
  const char* directory = std::getenv("TZDIR");
  if (directory == nullptr || *directory == '\0') directory = "/usr/share/zoneinfo";
  std::array<char, 4096> path;
  const int length = *zone == '/'
                         ? std::snprintf(path.data(), path.size(), "%s", zone)
                         : std::snprintf(path.data(), path.size(), "%s/%s", directory, zone);
  struct stat found;
  if (length > 0 && static_cast<std::size_t>(length) < path.size() &&
      ::stat(path.data(), &found) == 0 && !S_ISREG(found.st_mode)) {
    ::unsetenv("TZ");
  }
}

}  // namespace

int open_for_reading(const char* path) {
  const int fd = open_own(path, O_RDONLY);
  return fd < 0 && errno == ENOENT ? kNoFile : fd;
}

long read_file(int fd, char* data, std::size_t size) {
  ssize_t got;
  do {
    got = ::read(fd, data, size);
  } while (got < 0 && errno == EINTR);
  return static_cast<long>(got);
}

bool write_file(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

void close_file(int fd) { ::close(fd); }

int standard_output() { return STDOUT_FILENO; }

void replace_file(const char* path, const char* data, std::size_t size) {
  struct stat old;
  const bool exists = ::lstat(path, &old) == 0;
  if (!exists && errno != ENOENT) return;
  if (exists && !may_write(old)) return;

  std::array<char, 256> temp;
  const int length = std::snprintf(temp.data(), temp.size(), ".%s.XXXXXX", path);
  if (length <= 0 || static_cast<std::size_t>(length) >= temp.size()) return;
  const sigset_t held = hold_signals();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    release_signals(held);
    if (exists) write_in_place(path, data, size);
    return;
  }
  if (exists) ::fchmod(fd, old.st_mode & 07777);
  const bool written = write_file(fd, data, size) && flush_file(fd);
  ::close(fd);
  const bool renamed = written && ::rename(temp.data(), path) == 0;
  if (!renamed) ::unlink(temp.data());
  release_signals(held);
  if (renamed) flush_directory();
}

void append_file(const char* path, const char* data, std::size_t size) {
  // Read access tells how the file ends; a log we may only write still
  // takes the line.
  int fd = open_own(path, O_RDWR | O_CREAT | O_APPEND);
  if (fd < 0 && errno == EACCES) fd = open_own(path, O_WRONLY | O_CREAT | O_APPEND);
  if (fd < 0) return;
  const bool locked = lock_file(fd);
  struct stat before;
  if (::fstat(fd, &before) != 0 || !may_write(before)) {
    ::close(fd);
    return;
  }
  char crlf[] = {'\r', '\n'};
  iovec parts[] = {{crlf, sizeof crlf}, {const_cast<char*>(data), size}};
  const int first = ends_a_line(fd, before.st_size) ? 1 : 0;
  const std::size_t total = size + (first == 0 ? sizeof crlf : 0);
  ssize_t put;
  do {
    put = ::writev(fd, parts + first, 2 - first);
  } while (put < 0 && errno == EINTR);
  if (put > 0 && static_cast<std::size_t>(put) < total) {
    // A partial line would be glued to the next run's line. The lock keeps
    // our runs out meanwhile, and the size check any other writer.
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    struct stat now;
    if (end >= put && ::fstat(fd, &now) == 0 && now.st_size == end &&
        ::ftruncate(fd, end - put) != 0) {
      // The partial line stays: nothing else can remove it.
    }
  }
  if (locked) ::flock(fd, LOCK_UN);  // the next run need not wait for our flush
  if (put > 0) {
    flush_file(fd);
    if (before.st_size == 0) flush_directory();  // the line may have made the file
  }
  ::close(fd);
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
  drop_unusable_zone();
  // localtime_r, unlike localtime, need not look at the time zone again.
  ::tzset();
  return ::localtime_r(&time, &local) != nullptr;
}

}  // namespace pwdraw
