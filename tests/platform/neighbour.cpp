// Another program beside ours, for the fault matrix: "neighbour HOW PATH
// MILLISECONDS" takes hold of PATH, says "held" on standard output, keeps
// it that long and lets go. HOW is how the programs that live beside our
// files hold them for a moment:
//   open       a watcher reading a changed file: an open that shares only
//              reading on Windows, a read lease (Samba's oplocks) on Linux
//   exclusive  an open that shares nothing; a write lease on Linux
//   lock       the whole file locked: LockFileEx, or flock on POSIX
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
#include <sys/file.h>
#endif

int main(int argc, char* argv[]) {
  if (argc != 4) return 2;
  const std::string_view how = argv[1];
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
  std::puts("held");
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[3])));
  return 0;  // and the system lets go of what we held
}
