// Replacing settings.ini as a whole: the new text goes to a file beside it,
// unnamed until written and flushed where the system can, hidden otherwise,
// which is then renamed over it, or given its name only while that is free
// where the run found none; in place where the directory takes no new file.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "platform/posix/posix.h"
#include "platform/system.h"

namespace pwdraw {
namespace {

using namespace posix;

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

// Sets temp.name to a new "." + `path` + six letters or digits: hidden
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
      std::snprintf(temp.name.data(), temp.name.size(), ".%s.%s", path, letters.data());
  return length > 0 && length < static_cast<int>(temp.name.size());
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
    temp.named = 1;  // from before the name exists, so no moment goes uncovered
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (fd >= 0) {
      if (link_unnamed(fd, temp.name.data())) return fd;
    } else {
      const int made =
          open_at(AT_FDCWD, temp.name.data(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW);
      if (made >= 0) return made;
    }
    temp.named = 0;
    if (errno != EEXIST) break;
  }
  return -1;
}

}  // namespace

// Gives the new file the name `path` only while no file has it, so that a
// file another run renamed into place meanwhile stays. Where the file system
// can neither rename without replacing nor link (FAT, exFAT), it looks once
// more just before the rename.
bool posix::name_if_free(const char* path) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, temp.name.data(), AT_FDCWD, path, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
#endif
  if (::link(temp.name.data(), path) == 0) {
    ::unlink(temp.name.data());
    return true;
  }
  struct stat taken;
  return (errno == EPERM || errno == ENOSYS || errno == EOPNOTSUPP) && ::lstat(path, &taken) != 0 &&
         errno == ENOENT && ::rename(temp.name.data(), path) == 0;
}

// Renames the new file over `path`, trying again until the deadline where
// the system refuses while another program holds `path`.
bool posix::rename_over(const char* path) {
  while (::rename(temp.name.data(), path) != 0) {
    if (errno != EACCES || !paused_for_holder()) return false;
  }
  return true;
}

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
    named = written && (!exists          ? name_if_free(path)
                        : on_smb_share() ? rename_on_smb(path, fd)
                                         : rename_over(path));
  }
  ::close(fd);
  if (temp.named != 0 && !named) ::unlink(temp.name.data());
  temp.named = 0;
  if (caught) restore_ending_signals(saved);
  if (named) flush_directory(AT_FDCWD);
}

}  // namespace pwdraw
