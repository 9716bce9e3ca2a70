// Waiting out other programs that hold our files, within the run's one
// deadline: in the kernel's queue where it has one (a lease, a lock), under
// a timer that ends the wait at the deadline; by pauses where it has none
// (an SMB share's refusals, a handle gone stale).
#include <sys/file.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/neighbour.h"
#include "platform/posix/posix.h"

namespace pwdraw::posix {
namespace {

// The timer only interrupts: a blocking call it lands in fails with EINTR.
extern "C" void on_deadline(int) {}

}  // namespace

// Every 5 ms after the deadline too, in case the timer fires before the
// call blocks.
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

// An SMB share refuses a lock or a locked range with EACCES, and NFS or
// sshfs refuse with ESTALE an open that races a rename over the name.
bool paused_for_holder() {
  const long long pause = neighbour_pause();
  if (pause <= 0) return false;
  const timespec wait = {static_cast<time_t>(pause / 1000000),
                         static_cast<long>(pause % 1000000 * 1000)};
  ::nanosleep(&wait, nullptr);
  return true;
}

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

// The wait after the first try is made in the kernel's queue, so the
// holder's release serves us. An SMB share turns the lock into the server's
// byte-range lock, refused with EACCES while another holds it, and waits
// for it where no timer can end the wait: there the lock is tried again
// after pauses.
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

}  // namespace pwdraw::posix
