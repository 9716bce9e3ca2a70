// The operating-system calls the program needs, kept behind one header so
// that platform/posix/ and platform/win32/ hold every platform difference,
// each in the same files, one concept to a file: links.cpp (the way to our
// files), waits.cpp (other programs that hold them), replace.cpp (a file
// replaced as a whole; on POSIX smb_share.cpp, for SMB shares), append.cpp
// (a line added), interrupts.cpp (what the signals or console events that
// end a run do), time_zone.cpp and process.cpp (the standard streams;
// reading, writing, closing).
//
// Every path names a file in the working directory. Every call fails in
// silence: a run goes on without the file it could not read or write.
//
// On POSIX a file is written only if it is ours: a regular file owned by
// the user who runs us and with its owner's write bit, so that neither
// another user's file nor a read-only one is written, not even by root.
// A symbolic link is followed, to read or write, only along a way no other
// user can change: every link met on the way to the file (the name, each
// link in its target, any link among the target's directories) belongs to
// that user or to root and sits in a directory that only they can change
// (theirs or root's, not writable by group or others, or sticky). Any
// other way reads as no file. The way is walked one name at a time from
// directory descriptors, so a name swapped between a check and a use
// changes nothing; on Linux each link is read from the very entry
// checked (O_PATH). Elsewhere it is read by name between two looks that
// must agree, which in a directory no one else can change is the same, and
// a directory on a way through links must be readable, not only
// searchable, where the system has no O_SEARCH either.
// A file with a second name is not written through a name in a directory
// another user can change, since that user may have made the name.
//
// On Windows the access list and the read-only attribute decide, and a
// reparse point at the name is opened as itself before anything is written
// through it. Any user may plant a junction in a folder they can write (a
// symbolic link takes a privilege or developer mode), and one at our name
// would send the log line, a password, into whatever file it names that
// the user may write: one of the user's own elsewhere, or one the planter
// reads. So a symbolic link is written through only when it is the user's
// own or an administrator's (owned by the Administrators group, as links
// made in an elevated prompt are, or by the system), and held meanwhile so
// that nothing takes its name; a junction, which names a folder, never.
// Other reparse points (cloud files, deduplicated ones) keep the data in
// the file itself and are written like any file. Reads follow every link:
// a planted one can only choose which settings a run reads, and those are
// checked like any others.
#pragma once

#include <cstddef>
#include <ctime>

namespace pwdraw {

/// What open_for_reading returns when nothing of that name exists.
inline constexpr int kNoFile = -2;

/// Opens `path` for reading, in binary mode and without waiting for a FIFO
/// or device. Returns the descriptor, kNoFile when there is no such file,
/// or -1 when it exists but cannot be opened. A file another program holds
/// (a sharing violation on Windows, a lease on Linux) is waited for within
/// the run's deadline (see neighbour.h) before it counts as unreadable: on
/// Linux in the kernel's queue, served as the holder lets go, on Windows,
/// which has no queue for it, by polling. An open refused as stale (NFS and
/// sshfs refuse one that races a rename over the name) is tried again.
int open_for_reading(const char* path);

/// Whether both names lead, through any links, to one file.
bool same_file(const char* path, const char* other);

/// Reads up to `size` bytes; returns the count, 0 at the end, -1 on error.
/// A range another program has locked (refused on Windows, and on an SMB
/// share with EACCES) is waited for by polling, within the deadline.
long read_file(int fd, char* data, std::size_t size);

/// Writes all `size` bytes; false when the system refused part of them. A
/// locked range is waited for like a read.
bool write_file(int fd, const char* data, std::size_t size);

void close_file(int fd);

/// The descriptor of standard output.
int standard_output();

/// Replaces the content of `path` with `size` bytes, as a whole.
///
/// The bytes go to a new file beside it, which is flushed to disk and then
/// renamed over `path`. A reader, a concurrent run or a crash at any moment
/// sees the old file or the new one, whole; concurrent replacements leave
/// one of them. `found` tells whether the caller found a file at `path`
/// when it looked: if not, a file there now is one another run renamed
/// into place since, and it stays; where there is none, the new file takes
/// the name only while it is free (linked from the unnamed file, renamed
/// with RENAME_NOREPLACE, or linked, on Windows moved without replacing).
/// Where the file system can neither rename without replacing nor link (FAT
/// and exFAT through FUSE), it looks once more just before the rename, and
/// a file renamed into place between that look and the rename is lost.
/// On an SMB share Linux checks a free name only on this machine (the
/// rename it sends replaces), so a file another client makes in that moment
/// is replaced. The new file takes the mode of the one it replaces, or on
/// Windows its access list and its hidden and system attributes; a file
/// created anew is its owner's only, because its neighbour, the log, holds
/// passwords.
///
/// The new file is named "." + `path` + a suffix: hidden where names with a
/// leading dot are, and matched by no wildcard that starts with `path`. No
/// run ever reads it. Interrupt, termination, hang-up and quit end a run at
/// once at any moment, and leave no new file behind:
/// - On Linux it is made without a name (O_TMPFILE) and written and flushed
///   before it gets one, then renamed; a run ended before leaves nothing,
///   even one whose open waits on a stalled scanner. While it has its name,
///   for two quick calls, a signal removes the name before it ends the run.
/// - On other POSIX systems, or file systems without unnamed files, it has
///   its name from the start, and the signal removes it as it arrives; an
///   open stuck on a stalled scanner ends only when the scanner answers.
/// - On Windows, Ctrl+C, Ctrl+Break and closing the console end a run at
///   once: the console handler removes the new file as the event arrives,
///   and a rename under way completes first, so `path` is the old file or
///   the new one, whole.
/// Only a kill that cannot be caught (SIGKILL, TerminateProcess), or a
/// power cut, can leave it: on Linux only within those two calls; on
/// Windows also after an event that finds another program holding it for
/// over 50 ms. A power cut on Windows can also undo the rename
/// (MOVEFILE_WRITE_THROUGH promises a flush only for a move between
/// volumes, made as a copy), so the old file is back. Quit, whose default
/// dumps core, is one the Linux kernel does not let end a wait on a
/// scanner: it ends the run once the scanner answers.
///
/// A program that holds `path` or the new file (Windows refuses the rename
/// while any handle is open on either) is waited for within the run's
/// deadline; past it, the old file stays and the new one is removed. An SMB
/// share gives the same, but not by itself: Linux's client answers a rename
/// refused because another program has `path` open (Samba refuses it only
/// for programs on the same connection, Windows servers for any) by
/// deleting `path` itself, to go once that program closes it, and failing.
/// So there the rename waits until a write lease on `path` shows that no
/// other program, on this machine or another client, has it open, for half
/// the deadline at most, which leaves the rest to the log line. One that
/// opens `path` in the moment between that look and the rename still meets
/// the client's delete: the rename is tried again until it closes the file,
/// and `path` is lost only if it keeps it open past the deadline. Where the
/// share grants no leases, the old file is moved aside first instead, which
/// the server allows while it is open, and the new one then takes the free
/// name: a reader between the two renames finds no file, but `path` is
/// never lost. Moving aside is not the rule on every share because it has
/// the server break this client's lease on `path`, and Linux 6.1's client,
/// when another program here opens the file during the break, acknowledges
/// a wrong lease state: Samba then waits 35 s, and the rename, and every
/// create and rename in the directory, wait with it, whatever signal comes.
///
/// Only a regular file of ours or a missing one is replaced: a read-only
/// file, another user's, a symbolic link, a directory, a device or a FIFO
/// by that name is left as it is.
///
/// Where the directory takes no new file, a file of ours with no other name
/// is overwritten in place instead, but only when the new bytes fit in its
/// size, so that the write needs no new block: the new bytes first, then
/// the cut to length, and the old bytes written back if either fails. A
/// longer text is not written at all. Interrupt, termination, hang-up and
/// quit, or on Windows Ctrl+C, Ctrl+Break and closing the console, wait for
/// it (on Windows up to 100 ms), as for a line (see append_file). Only a kill that
/// cannot be held or a power cut within it can leave the start of the new
/// bytes on the old file, or the new ones followed by the end of the old.
void replace_file(const char* path, const char* data, std::size_t size, bool found);

/// Adds the `size` bytes of one line at the end of `path`, creating it
/// (owner-only) when missing, and flushes them to disk before returning.
/// A file not ours, or not a regular file, is not written, nor on Windows a
/// line over 2 KiB.
///
/// The line starts a line of its own: when the file is not empty and its
/// last byte is not a line feed (a note saved without a final newline), a
/// CR LF goes before it, in the same append, and is cut off with it if the
/// line is. Both go out in one write, at the end of a file opened for
/// appending on POSIX and at the end found under the lock on Windows, and
/// every run takes that lock (flock on POSIX, a byte-range lock on
/// Windows), so lines added by concurrent runs never interleave. A write
/// the system takes only in part (a full disk, a file-size limit) is cut
/// off again: the file gains all the bytes or none, and since the lock is
/// held no other run's line can be cut with them. Earlier content is never
/// touched. A power cut before the flush completes may lose the bytes, or
/// leave part of them where the disk wrote some sectors and not others.
/// A run that finds the file empty, and so may have made it, flushes the
/// file (on POSIX, and its directory) before it lets go of the lock: no
/// other run can find the file not empty, and show its line, before the
/// file and its name last. Any other run lets go first and flushes after.
/// A file this run made and then finds not its own (a mount that shows
/// every file as one user's) is removed rather than left empty.
///
/// What the signals that end a run leave of the line:
/// - On POSIX, interrupt, termination, hang-up and quit are held from the
///   write until the line is whole or cut back (and, for a file found
///   empty, flushed): they then end the run as they would have, with the
///   same status. Unheld, the kernel would stop the write between two pages
///   of the file and end the process before the cut-back. A write to a
///   network share that waits for its server (NFS, SMB) delays the signal
///   until the server answers, as it would delay SIGKILL's effect there.
/// - On Windows, Ctrl+C, Ctrl+Break and closing the console that come while
///   the line is written or cut back end the run once that is done, waiting
///   up to 100 ms; one that comes before ends the run without the line, and
///   the run shows nothing. The line is one WriteFile, which the system
///   completes or fails as a whole (on SMB one request), so only a disk, a
///   scanner or a file server that stalls for longer, between a write it
///   took in part and the cut, can leave part of the line.
/// - Only SIGKILL, TerminateProcess or a power cut can leave part of a line.
/// - A flush to disk (fdatasync, FlushFileBuffers) is not ended by any
///   signal: one that comes during it ends the run once the disk answers.
///
/// A program that holds the file or its lock is waited for within the run's
/// deadline, on POSIX in the kernel's queue, or by polling where a lock is
/// mandatory (an SMB share refuses it, and the reads and writes under it,
/// with EACCES). Past it, Windows and SMB shares give up, since a locked
/// range cannot be written; elsewhere POSIX writes anyway, since flock is
/// advisory and orders only our own runs, and a password shown must be a
/// password logged.
void append_file(const char* path, const char* data, std::size_t size);

/// Makes the standard streams safe before anything is written: a closed one
/// is reopened on the null device so no file we open can take its place, a
/// reader that went away or a file-size limit makes a write fail instead of
/// ending the process, and standard output takes our bytes unchanged. On
/// Windows it also installs the console handler, before anything is
/// written, so that no Ctrl+C, Ctrl+Break or closing of the console meets
/// Windows' default handling while a file is being written.
void prepare_process();

/// Converts `time` to the machine's local date and time, daylight saving
/// included; false when the platform cannot. On POSIX no TZ or TZDIR can
/// make a run wait or grow: the file the C library reads for the zone (the
/// one TZ names, or "posixrules" for a rule with summer time but no dates
/// of change) must be a regular file of at most 1 MiB, or the machine's
/// zone is used. On Linux the
/// library reads the named file through /proc, the very file checked;
/// posixrules it opens by name, under the run's deadline. Windows takes the
/// system's zone.
bool to_local_time(std::time_t time, std::tm& local);

}  // namespace pwdraw
