#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// The C runtime's file calls, after windows.h.
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/system.h"

namespace pwdraw {
namespace {

int open_path(const char* path, int flags) {
  int fd = -1;
  if (_sopen_s(&fd, path, flags | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, _S_IREAD | _S_IWRITE) !=
      0) {
    return -1;
  }
  return fd;
}

int write_once(int fd, const char* data, std::size_t size) {
  return _write(fd, data, size > INT_MAX ? INT_MAX : static_cast<unsigned>(size));
}

// Where the directory takes no new file, the old one is overwritten: the new
// bytes first, then the cut, so that a failure part-way keeps what it can.
bool write_in_place(const char* path, const char* data, std::size_t size) {
  const int fd = open_path(path, _O_WRONLY);
  if (fd < 0) return false;
  BY_HANDLE_FILE_INFORMATION info;
  // A second name would make this write land in another file as well.
  const bool written =
      GetFileInformationByHandle(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), &info) &&
      info.nNumberOfLinks == 1 && write_file(fd, data, size) &&
      _chsize_s(fd, static_cast<long long>(size)) == 0 && _commit(fd) == 0;
  _close(fd);
  return written;
}

}  // namespace

int open_for_reading(const char* path) {
  const int fd = open_path(path, _O_RDONLY);
  return fd < 0 && errno == ENOENT ? kNoFile : fd;
}

long read_file(int fd, char* data, std::size_t size) {
  if (size > INT_MAX) size = INT_MAX;
  return _read(fd, data, static_cast<unsigned>(size));
}

bool write_file(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const int put = write_once(fd, data, size);
    if (put <= 0) return false;
    data += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

void close_file(int fd) { _close(fd); }

int standard_output() { return 1; }

void replace_file(const char* path, const char* data, std::size_t size) {
  const DWORD attributes = GetFileAttributesA(path);
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) return;
  constexpr DWORD kNotOurs =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
  if (exists && (attributes & kNotOurs) != 0) return;

  // A name no other process can be using; one left by a killed run with
  // the same number is passed over.
  std::array<char, 256> temp;
  int fd = -1;
  for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    const int length =
        std::snprintf(temp.data(), temp.size(), "%s.%lu-%u", path, GetCurrentProcessId(), attempt);
    if (length <= 0 || static_cast<std::size_t>(length) >= temp.size()) return;
    fd = open_path(temp.data(), _O_WRONLY | _O_CREAT | _O_EXCL);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    if (exists) write_in_place(path, data, size);
    return;
  }
  const bool written = write_file(fd, data, size) && _commit(fd) == 0;
  _close(fd);
  if (!written ||
      !MoveFileExA(temp.data(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    _unlink(temp.data());
  }
}

void append_file(const char* path, const char* data, std::size_t size) {
  const int fd = open_path(path, _O_WRONLY | _O_CREAT | _O_APPEND);
  if (fd < 0) return;
  const int put = write_once(fd, data, size);
  if (put > 0) {
    const long long end = _telli64(fd);
    if (static_cast<std::size_t>(put) < size && end >= put && _filelengthi64(fd) == end) {
      // A partial line would be glued to the next run's line.
      _chsize_s(fd, end - put);
    }
    _commit(fd);
  }
  _close(fd);
}

// Ctrl+C and Ctrl+Break are ignored meanwhile: the run ends a moment later.
unsigned hold_signals() { return SetConsoleCtrlHandler(nullptr, TRUE) ? 1u : 0u; }

void release_signals(unsigned held) {
  if (held != 0) SetConsoleCtrlHandler(nullptr, FALSE);
}

void prepare_process() {
  // Text mode would turn our CR LF into CR CR LF.
  _setmode(1, _O_BINARY);
}

bool to_local_time(std::time_t time, std::tm& local) {
  _tzset();
  return localtime_s(&local, &time) == 0;
}

}  // namespace pwdraw
