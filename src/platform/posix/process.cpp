// The process and its descriptors: the standard streams made safe before
// anything is written, and reading, writing, flushing and closing.
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <ctime>

#include "platform/posix/posix.h"
#include "platform/system.h"

// A 32-bit time_t reads every clock after 2038-01-19 as an error, and a
// 32-bit off_t cannot open a log over 2 GiB. qemu-user passes file calls to
// the 64-bit kernel of its host, so no emulated test can show the second:
// this check is what guards it.
static_assert(sizeof(std::time_t) >= 8 && sizeof(off_t) >= 8,
              "build with -D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64");

namespace pwdraw {

// A file that cannot be flushed, such as a FIFO, refuses with EINVAL: there
// is nothing on a disk to wait for.
bool posix::flush_file(int fd) {
#if defined(_POSIX_SYNCHRONIZED_IO) && _POSIX_SYNCHRONIZED_IO > 0
  const int flushed = ::fdatasync(fd);
#else
  const int flushed = ::fsync(fd);
#endif
  return flushed == 0 || errno == EINVAL;
}

// A name made or changed in a directory lasts only once the directory is
// flushed too.
void posix::flush_directory(int dir) {
  const int fd = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

long read_file(int fd, char* data, std::size_t size) {
  ssize_t got;
  do {
    got = ::read(fd, data, size);
  } while (got < 0 && (errno == EINTR || (errno == EACCES && posix::paused_for_holder())));
  return static_cast<long>(got);
}

bool write_file(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd, data, size);
    if (put < 0 && (errno == EINTR || (errno == EACCES && posix::paused_for_holder()))) continue;
    if (put <= 0) return false;
    data += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

void close_file(int fd) { ::close(fd); }

int standard_output() { return STDOUT_FILENO; }

void prepare_process() {
  // One call for the three: poll marks a closed descriptor POLLNVAL.
  std::array<pollfd, 3> streams = {
      {{STDIN_FILENO, 0, 0}, {STDOUT_FILENO, 0, 0}, {STDERR_FILENO, 0, 0}}};
  const bool polled = ::poll(streams.data(), streams.size(), 0) >= 0;
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    const bool closed = polled ? (streams[static_cast<std::size_t>(fd)].revents & POLLNVAL) != 0
                               : ::fcntl(fd, F_GETFD) == -1 && errno == EBADF;
    if (closed) {
      // open() returns the lowest free descriptor, which is this one.
      ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
  }
  // Nothing better to do if either fails.
  (void)::signal(SIGPIPE, SIG_IGN);
  (void)::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace pwdraw
