// Text files and standard output as the program writes them on every
// platform: each '\n' goes out as CR LF, every other byte unchanged.
#pragma once

#include <cstddef>
#include <string_view>

namespace pwdraw {

/// Turns the `size` raw bytes at `data` into text in place: a CR directly
/// before a LF is dropped and a byte 26 (Ctrl-Z) ends the data. Returns the
/// number of characters kept.
std::size_t decode_text(char* data, std::size_t size);

/// Reads the start of `path`, at most `size` characters, into `data` and
/// decodes it as text. A file that starts with a UTF-16 byte-order mark, of
/// either order, is read as the same text in UTF-8 would be, `size` counting
/// its UTF-8 bytes. Returns the number of characters stored, kNoFile when
/// there is no such file, or -1 when it exists but cannot be opened or read.
long read_text_file(const char* path, char* data, std::size_t size);

/// Replaces `path` with `text` as a whole (see replace_file, and `found`
/// there). An empty text, or one whose bytes would not fit 2 KiB, is not
/// written at all.
void replace_text_file(const char* path, std::string_view text, bool found);

/// Adds `text` at the end of `path` as a whole (see append_file), creating
/// it when missing. A text whose bytes would not fit 2 KiB is not written.
void append_text_file(const char* path, std::string_view text);

/// Writes `text` to standard output; a closed or full output is ignored.
void write_console(std::string_view text);

}  // namespace pwdraw
