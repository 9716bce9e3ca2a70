// The way to our files: whose a file is, which directories no other user
// can change, and the walk through symbolic links from directory
// descriptors that follows only links no other user can have made.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/posix/posix.h"
#include "platform/system.h"

namespace pwdraw {
namespace posix {
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

bool is_trusted(uid_t owner) { return owner == ::geteuid() || owner == 0; }

// Whether an open with `flags` and O_NOFOLLOW may have failed because the
// name is a link; O_EXCL refuses a link as a name taken.
bool may_be_link(int error, int flags) {
#ifdef EFTYPE
  if (error == EFTYPE) return true;  // NetBSD
#endif
  return error == ELOOP || error == EMLINK ||  // EMLINK: FreeBSD
         (error == EEXIST && (flags & O_EXCL) != 0);
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

}  // namespace

const char* proc_name(int fd, ProcName& name) {
  (void)std::snprintf(name.data(), name.size(), "/proc/self/fd/%d", fd);
  return name.data();
}

bool same_inode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Root may write any file, so neither rule is left to the kernel: another
// user's file (one prepared for us in a shared directory) or a read-only
// one keeps its bytes whoever runs.
bool may_write(const struct stat& file) {
  return S_ISREG(file.st_mode) && file.st_uid == ::geteuid() && (file.st_mode & S_IWUSR) != 0;
}

// A directory of theirs that no one else may write to, or a sticky one,
// where no one else may rename or remove their entries.
bool is_safe_directory(int dir) {
  struct stat where;
  return ::fstatat(dir, ".", &where, 0) == 0 && is_trusted(where.st_uid) &&
         ((where.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (where.st_mode & S_ISVTX) != 0);
}

void close_opened(const Opened& opened) {
  if (opened.fd >= 0) ::close(opened.fd);
  if (opened.dir != AT_FDCWD) ::close(opened.dir);
}

// The way through links of open_own. Out of line: its three paths, 12 KiB,
// would otherwise deepen the stack of every run, and each page of stack a
// run touches costs it a page fault.
[[gnu::noinline]] Opened open_through_links(const char* path, int flags) {
  Opened opened;
  Path rest, target;
  if (std::snprintf(rest.data(), rest.size(), "%s", path) >= static_cast<int>(rest.size())) {
    return opened;
  }
  opened.dir = ::openat(AT_FDCWD, ".", kDirectory | O_CLOEXEC);
  const char* at = rest.data();
  bool taken = false;
  for (int links = 0; opened.dir >= 0 && links <= 40;) {
    while (*at == '/') ++at;
    const char* end = std::strchr(at, '/');
    auto& name = opened.name;
    const std::size_t size = end != nullptr ? static_cast<std::size_t>(end - at) : std::strlen(at);
    if (size == 0 || size >= name.size()) break;
    std::memcpy(name.data(), at, size);
    name[size] = '\0';
    taken = false;
    if (end == nullptr) {
      opened.fd = open_at(opened.dir, name.data(), flags | O_NOFOLLOW);
      if (opened.fd >= 0 || !may_be_link(errno, flags)) return opened;
      taken = errno == EEXIST;
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
  // A name that O_EXCL found taken by a file, not by a link to follow, was
  // made by another run since we looked: the caller opens that one.
  errno = taken ? EEXIST : ENOENT;
  return Opened{};
}

// What was checked is what is opened or created. A plain name of a file is
// opened at once.
Opened open_own(const char* path, int flags) {
  Opened opened;
  opened.fd = open_at(AT_FDCWD, path, flags | O_NOFOLLOW);
  if (opened.fd >= 0 || !may_be_link(errno, flags)) {
    // Copied as snprintf's "%s" would, cut to fit: a run that calls no
    // snprintf is spared the page faults of its code and tables.
    const std::size_t size = ::strnlen(path, opened.name.size() - 1);
    std::memcpy(opened.name.data(), path, size);
    opened.name[size] = '\0';
    return opened;
  }
  return open_through_links(path, flags);
}

}  // namespace posix

using namespace posix;

int open_for_reading(const char* path) {
  const Opened opened = open_own(path, O_RDONLY);
  const int error = errno;
  if (opened.dir != AT_FDCWD) ::close(opened.dir);
  return opened.fd < 0 && error == ENOENT ? kNoFile : opened.fd;
}

bool same_file(const char* path, const char* other) {
  struct stat a, b;
  return ::stat(path, &a) == 0 && ::stat(other, &b) == 0 && same_inode(a, b);
}

}  // namespace pwdraw
