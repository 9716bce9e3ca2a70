#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <climits>

#include "platform/system.h"

namespace pwdraw {

int open_file(const char* path, OpenMode mode) {
  int flags = _O_RDONLY;
  if (mode == OpenMode::truncate) flags = _O_WRONLY | _O_CREAT | _O_TRUNC;
  if (mode == OpenMode::append) flags = _O_WRONLY | _O_CREAT | _O_APPEND;
  int fd = -1;
  if (_sopen_s(&fd, path, flags | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, _S_IREAD | _S_IWRITE) !=
      0) {
    return -1;
  }
  return fd;
}

long read_file(int fd, char* data, std::size_t size) {
  if (size > INT_MAX) size = INT_MAX;
  return _read(fd, data, static_cast<unsigned>(size));
}

bool write_file(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const unsigned chunk = size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
    const int put = _write(fd, data, chunk);
    if (put <= 0) return false;
    data += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

void close_file(int fd) { _close(fd); }

int standard_output() { return 1; }

void prepare_process() {
  // Text mode would turn our CR LF into CR CR LF.
  _setmode(1, _O_BINARY);
}

bool to_local_time(std::time_t time, std::tm& local) {
  _tzset();
  return localtime_s(&local, &time) == 0;
}

}  // namespace pwdraw
