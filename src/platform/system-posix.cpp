#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system.h"

// A 32-bit time_t reads every clock after 2038-01-19 as an error, and a
// 32-bit off_t cannot open a log over 2 GiB. qemu-user passes file calls to
// the 64-bit kernel of its host, so no emulated test can show the second:
// this check is what guards it.
static_assert(sizeof(std::time_t) >= 8 && sizeof(off_t) >= 8,
              "build with -D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64");

namespace pwdraw {

int open_file(const char* path, OpenMode mode) {
  int flags = O_RDONLY;
  if (mode == OpenMode::truncate) flags = O_WRONLY | O_CREAT | O_TRUNC;
  if (mode == OpenMode::append) flags = O_WRONLY | O_CREAT | O_APPEND;
  // O_NONBLOCK: a FIFO or terminal named like our files must not hang the
  // run; it reads as empty or refuses the write. Regular files ignore it.
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC | O_NONBLOCK, S_IRUSR | S_IWUSR);
  } while (fd < 0 && errno == EINTR);
  return fd;
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

void prepare_process() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      // open() returns the lowest free descriptor, which is this one.
      ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
  }
  (void)::signal(SIGPIPE, SIG_IGN);  // nothing better to do if it fails
}

bool to_local_time(std::time_t time, std::tm& local) {
  // localtime_r, unlike localtime, need not look at the time zone again.
  ::tzset();
  return ::localtime_r(&time, &local) != nullptr;
}

}  // namespace pwdraw
