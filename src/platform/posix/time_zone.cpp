// The machine's local time, from a time zone that no TZ or TZDIR can make a
// run wait on or grow for: the zone file the C library would read must be a
// regular file of at most 1 MiB, handed over as the very file checked.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/posix/posix.h"
#include "platform/system.h"

namespace pwdraw {
namespace {

using namespace posix;

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

// Makes the zone file TZ leads to safe for the C library to read. One that
// is not a regular file of at most 1 MiB (the largest real ones hold a few
// KiB; the library allocates what the header of a larger one claims) is
// not used, and the machine's zone is. On Linux the library is handed the
// very file checked, as /proc/self/fd/N, so no swap of the name after the
// check reaches it. The "posixrules" of a rule without dates cannot be
// handed over like that: the library opens it by name, under the run's
// deadline. Returns the descriptor to close after the conversion, or -1;
// `bounded` tells whether the conversion must run under the deadline.
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
  constexpr off_t kMaxZoneSize = off_t{1} << 20;
  struct stat checked, seen;
  if (fd == kNotRegular || (fd >= 0 && (::fstat(fd, &checked) != 0 || !S_ISREG(checked.st_mode) ||
                                        checked.st_size > kMaxZoneSize))) {
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

}  // namespace

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
