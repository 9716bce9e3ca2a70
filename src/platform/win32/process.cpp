// The process and its descriptors on Windows: standard output in binary
// mode, and the opens, reads and writes the portable code makes.
#include "platform/win32/win32.h"
// The C runtime's descriptor calls, after windows.h.
#include <fcntl.h>
#include <io.h>

#include <array>
#include <climits>

#include "platform/system.h"

namespace pwdraw {
namespace {

using namespace win32;

}  // namespace

int open_for_reading(const char* path) {
  WidePath wide;
  if (!widen(path, wide)) return -1;
  const HANDLE file = open_file(wide, GENERIC_READ, kShareAll, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND ? kNoFile : -1;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
  if (fd < 0) CloseHandle(file);
  return fd;
}

long read_file(int fd, char* data, std::size_t size) {
  const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  DWORD got = 0;
  while (
      !ReadFile(file, data, size > INT_MAX ? INT_MAX : static_cast<DWORD>(size), &got, nullptr)) {
    if (!waited_for_holder()) return -1;
  }
  return static_cast<long>(got);
}

bool write_file(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const int put = _write(fd, data, size > INT_MAX ? INT_MAX : static_cast<unsigned>(size));
    if (put <= 0) return false;
    data += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

void close_file(int fd) { _close(fd); }

int standard_output() { return 1; }

bool same_file(const char* path, const char* other) {
  std::array<BY_HANDLE_FILE_INFORMATION, 2> info;
  std::array<const char*, 2> names = {path, other};
  for (std::size_t i = 0; i < names.size(); ++i) {
    WidePath wide;
    // No access asked for: a file held without sharing still tells who it is.
    const HANDLE file =
        widen(names[i], wide) ? open_file(wide, 0, kShareAll, OPEN_EXISTING) : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(file, &info[i]);
    CloseHandle(file);
    if (!known) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
}

void prepare_process() {
  // Text mode would turn our CR LF into CR CR LF.
  _setmode(1, _O_BINARY);
  handle_console_events();
}

}  // namespace pwdraw
