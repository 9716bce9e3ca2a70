// Appending a line to the log: under the lock every run takes, at the end
// of a file opened for appending, on a line of its own, whole or cut back,
// and flushed in the order that lets no run show a line a power cut takes.
#include <sys/file.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix.h"
#include "platform/system.h"

namespace pwdraw {
namespace {

using namespace posix;

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

// Whether a line added at `size` starts a line of its own. A file we may
// not read is taken to end its last line.
bool ends_a_line(int fd, off_t size) {
  char last = '\n';
  return size == 0 || read_at(fd, &last, 1, size - 1) != 1 || last == '\n';
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

}  // namespace pwdraw
