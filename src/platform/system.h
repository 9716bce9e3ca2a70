// The operating-system calls the program needs, kept behind one header so
// that system-posix.cpp and system-win32.cpp hold every platform difference.
//
// Every path names a file in the working directory. Every call fails in
// silence: a run goes on without the file it could not read or write.
#pragma once

#include <cstddef>
#include <ctime>

namespace pwdraw {

/// What open_for_reading returns when nothing of that name exists.
inline constexpr int kNoFile = -2;

/// Opens `path` for reading, in binary mode and without waiting for a FIFO
/// or device. Returns the descriptor, kNoFile when there is no such file,
/// or -1 when it exists but cannot be opened.
int open_for_reading(const char* path);

/// Reads up to `size` bytes; returns the count, 0 at the end, -1 on error.
long read_file(int fd, char* data, std::size_t size);

/// Writes all `size` bytes; false when the system refused part of them.
bool write_file(int fd, const char* data, std::size_t size);

void close_file(int fd);

/// The descriptor of standard output.
int standard_output();

/// Replaces the content of `path` with `size` bytes, as a whole.
///
/// The bytes go to a new file beside it, which is flushed to disk and then
/// renamed over `path`. A reader, a concurrent run or a crash at any moment
/// sees the old file or the new one, whole; concurrent replacements leave
/// one of them. A file left by a run killed part-way has a name of its own
/// and is never read. The new file takes the mode (and, for root, the
/// owner) of the one it replaces; a file created anew is its owner's only,
/// because its neighbour, the log, holds passwords.
///
/// Only a writable regular file or a missing one is replaced: a read-only
/// file, a symbolic link, a directory, a device or a FIFO by that name is
/// left as it is. Where the
/// directory takes no new file, a writable regular file with no other name
/// is overwritten in place instead, new bytes first and the cut to length
/// after; that alone can leave a mixed file if the run dies within it.
void replace_file(const char* path, const char* data, std::size_t size);

/// Adds `size` bytes at the end of `path`, creating it (owner-only) when
/// missing, and flushes them to disk before returning.
///
/// The bytes go out in one write to a file opened for appending, so lines
/// added by concurrent runs never interleave. A write the system takes only
/// in part (a full disk, a file-size limit) is cut off again, unless another
/// run has appended since: the file gains all the bytes or none. Earlier
/// content is never touched. A power cut before the flush completes may
/// lose the bytes.
void append_file(const char* path, const char* data, std::size_t size);

/// Holds back the signals that end a run from a terminal or a supervisor
/// (interrupt, termination, hang-up, quit) until release_signals, so that a
/// password shown is a password logged. Returns which of them it held;
/// those already held by whoever started us stay so.
unsigned hold_signals();

/// Lets the signals taken by hold_signals through; one that came in the
/// meantime takes effect now.
void release_signals(unsigned held);

/// Makes the standard streams safe before anything is written: a closed one
/// is reopened on the null device so no file we open can take its place, a
/// reader that went away or a file-size limit makes a write fail instead of
/// ending the process, and standard output takes our bytes unchanged.
void prepare_process();

/// Converts `time` to the machine's local date and time, daylight saving
/// included; false when the platform cannot.
bool to_local_time(std::time_t time, std::tm& local);

}  // namespace pwdraw
