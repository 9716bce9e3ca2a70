// Another program beside ours, for the fault matrix: "neighbour HOW PATH
// MILLISECONDS" takes hold of PATH, says "held" on standard output, keeps
// it that long and lets go. HOW is how the programs that live beside our
// files hold them for a moment:
//   open       a watcher reading a changed file: an open that shares only
//              reading on Windows, a read lease (Samba's oplocks) on Linux
//   exclusive  an open that shares nothing; a write lease on Linux
//   lock       the whole file locked: LockFileEx, or flock on POSIX
// and on Linux:
//   flicker    a file server's client behind a slow link: a read lease that
//              it gives up 30 ms after each break notice and takes again
//              10 ms later
//   stall      an on-access scanner whose daemon has stopped: every open in
//              the directory PATH waits for an answer that never comes
//   swap       another user flipping PATH and PATH.swap as fast as it can
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/fanotify.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#endif

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

void say_held() {
  std::puts("held");
  std::fflush(stdout);
}

#ifdef __linux__
int flicker(const char* path, Clock::time_point end) {
  sigset_t io;
  sigemptyset(&io);
  sigaddset(&io, SIGIO);
  sigprocmask(SIG_BLOCK, &io, nullptr);
  bool said = false;
  for (int fd = -1; Clock::now() < end;) {
    if (fd < 0 && (fd = open(path, O_RDONLY)) >= 0 && fcntl(fd, F_SETLEASE, F_RDLCK) != 0) {
      close(fd);
      fd = -1;
    }
    if (fd >= 0 && !said) said = true, say_held();
    const timespec tick = {0, 1000000};
    if (fd >= 0 && sigtimedwait(&io, nullptr, &tick) == SIGIO) {
      std::this_thread::sleep_for(milliseconds(30));
      close(fd);
      fd = -1;
      std::this_thread::sleep_for(milliseconds(10));
    }
  }
  return 0;
}

int stall(const char* path, Clock::time_point end) {
  const int group = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY);
  if (group < 0 ||
      fanotify_mark(group, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_EVENT_ON_CHILD, AT_FDCWD, path) != 0) {
    return 1;
  }
  say_held();
  std::this_thread::sleep_until(end);
  return 0;  // and the system answers for us
}

int swap(const char* path, Clock::time_point end) {
  char other[4096];
  std::snprintf(other, sizeof other, "%s.swap", path);
  say_held();
  while (Clock::now() < end) renameat2(AT_FDCWD, path, AT_FDCWD, other, RENAME_EXCHANGE);
  return 0;
}
#endif

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 4) return 2;
  const std::string_view how = argv[1];
  const Clock::time_point end = Clock::now() + milliseconds(std::atoi(argv[3]));
#ifdef __linux__
  if (how == "flicker") return flicker(argv[2], end);
  if (how == "stall") return stall(argv[2], end);
  if (how == "swap") return swap(argv[2], end);
#endif
#ifdef _WIN32
  const DWORD share = how == "open"   ? FILE_SHARE_READ
                      : how == "lock" ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
                                      : 0;
  const HANDLE file = CreateFileA(argv[2], GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  OVERLAPPED whole = {};
  if (file == INVALID_HANDLE_VALUE ||
      (how == "lock" &&
       !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole))) {
    return 1;
  }
#else
  // The kernel asks a lease holder to let go with SIGIO, which would end us.
  signal(SIGIO, SIG_IGN);
  const int fd = open(argv[2], how == "exclusive" ? O_RDWR : O_RDONLY);
  if (fd < 0 || (how == "lock" ? flock(fd, LOCK_EX)
                               : fcntl(fd, F_SETLEASE, how == "open" ? F_RDLCK : F_WRLCK)) != 0) {
    return 1;
  }
#endif
  say_held();
  std::this_thread::sleep_until(end);
  return 0;  // and the system lets go of what we held
}
