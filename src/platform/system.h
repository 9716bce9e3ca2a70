// The operating-system calls the program needs, kept behind one header so
// that system-posix.cpp and system-win32.cpp hold every platform difference.
#pragma once

#include <cstddef>
#include <ctime>

namespace pwdraw {

enum class OpenMode {
  read,      // the file must exist
  truncate,  // created when missing, emptied otherwise
  append,    // created when missing, every write lands at the end
};

/// Opens `path` in binary mode; returns -1 when it cannot be opened.
/// A file created here is readable and writable by its owner only, because
/// the log holds passwords; an existing file keeps its mode and owner.
int open_file(const char* path, OpenMode mode);

/// Reads up to `size` bytes; returns the count, 0 at the end, -1 on error.
long read_file(int fd, char* data, std::size_t size);

/// Writes all `size` bytes; false when the system refused part of them.
bool write_file(int fd, const char* data, std::size_t size);

void close_file(int fd);

/// The descriptor of standard output.
int standard_output();

/// Makes the standard streams safe before anything is written: a closed one
/// is reopened on the null device so no file we open can take its place, a
/// reader that went away makes a write fail instead of ending the process,
/// and standard output takes our bytes unchanged.
void prepare_process();

/// Converts `time` to the machine's local date and time, daylight saving
/// included; false when the platform cannot.
bool to_local_time(std::time_t time, std::tm& local);

}  // namespace pwdraw
