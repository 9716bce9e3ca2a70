#include "platform/text_file.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/system.h"

namespace pwdraw {
namespace {

constexpr char kCtrlZ = 26;

using Bytes = std::array<char, 2048>;

// `text` as it goes out. Empty when it would not fit: a cut text written
// would lose values or leave half a line.
std::string_view encode_text(std::string_view text, Bytes& out) {
  std::size_t used = 0;
  for (const char c : text) {
    if (used + 2 > out.size()) return {};
    if (c == '\n') out[used++] = '\r';
    out[used++] = c;
  }
  return {out.data(), used};
}

// A file saved as UTF-16 (Windows PowerShell's ">", Notepad's "Unicode")
// starts with a byte-order mark, and is read as the same text in UTF-8.
struct Utf16 {
  bool big_endian = false;
  int pending_byte = -1;             // the first byte of a unit cut by the chunk's end
  std::uint32_t high_surrogate = 0;  // the first unit of a pair, until its second
  bool full = false;                 // a character did not fit: the text ends before it
};

// Puts `code` in UTF-8 at `text` + `used`, if it fits in `size`; returns the
// new count. One that does not fit ends the text where it would have begun:
// the bytes after that were never written, and must not be read.
std::size_t put_utf8(Utf16& from, std::uint32_t code, char* text, std::size_t used,
                     std::size_t size) {
  const std::size_t length = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
  from.full = from.full || length > size - used;
  if (from.full) return used;
  if (length == 1) {
    text[used] = static_cast<char>(code);
    return used + 1;
  }
  constexpr std::array<unsigned, 5> kLead = {0, 0, 0xC0, 0xE0, 0xF0};
  for (std::size_t i = length - 1; i > 0; --i, code >>= 6) {
    text[used + i] = static_cast<char>(0x80 | (code & 0x3F));
  }
  text[used] = static_cast<char>(kLead[length] | code);
  return used + length;
}

// Appends the UTF-8 form of the UTF-16 `bytes`; a surrogate without its
// partner becomes U+FFFD, three bytes, as any converter would write it.
std::size_t put_utf16(Utf16& from, std::string_view bytes, char* text, std::size_t used,
                      std::size_t size) {
  constexpr std::uint32_t kReplacement = 0xFFFD;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (from.pending_byte < 0) {
      from.pending_byte = byte;
      continue;
    }
    const auto first = static_cast<std::uint32_t>(from.pending_byte);
    const std::uint32_t unit =
        from.big_endian ? first << 8 | byte : std::uint32_t{byte} << 8 | first;
    from.pending_byte = -1;
    const bool high = unit >= 0xD800 && unit <= 0xDBFF, low = unit >= 0xDC00 && unit <= 0xDFFF;
    const std::uint32_t pair = from.high_surrogate;
    if (pair != 0 && !low) used = put_utf8(from, kReplacement, text, used, size);
    from.high_surrogate = high ? unit : 0;
    if (high) continue;
    const std::uint32_t code = !low        ? unit
                               : pair != 0 ? 0x10000 + ((pair - 0xD800) << 10) + (unit - 0xDC00)
                                           : kReplacement;
    used = put_utf8(from, code, text, used, size);
    if (from.full) break;
  }
  return used;
}

}  // namespace

std::size_t decode_text(char* data, std::size_t size) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < size && data[i] != kCtrlZ; ++i) {
    const bool cr_before_lf = data[i] == '\r' && i + 1 < size && data[i + 1] == '\n';
    if (!cr_before_lf) data[kept++] = data[i];
  }
  return kept;
}

long read_text_file(const char* path, char* data, std::size_t size) {
  const int fd = open_for_reading(path);
  if (fd < 0) return fd;
  std::array<char, 4096> chunk;
  std::optional<Utf16> utf16;
  std::size_t used = 0;
  long got = 0;
  for (bool first = true; used < size && !(utf16 && utf16->full) &&
                          (got = read_file(fd, chunk.data(), chunk.size())) > 0;
       first = false) {
    std::string_view bytes(chunk.data(), static_cast<std::size_t>(got));
    if (first && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")) {
      utf16 = Utf16{bytes[0] == '\xFE'};
      bytes.remove_prefix(2);
    }
    if (utf16) {
      used = put_utf16(*utf16, bytes, data, used, size);
    } else {
      const std::size_t length = std::min(bytes.size(), size - used);
      std::memcpy(data + used, bytes.data(), length);
      used += length;
    }
  }
  close_file(fd);
  return got < 0 ? -1 : static_cast<long>(decode_text(data, used));
}

void replace_text_file(const char* path, std::string_view text, bool found) {
  Bytes out;
  const std::string_view bytes = encode_text(text, out);
  if (!bytes.empty()) replace_file(path, bytes.data(), bytes.size(), found);
}

void append_text_file(const char* path, std::string_view text) {
  Bytes out;
  const std::string_view bytes = encode_text(text, out);
  if (!bytes.empty()) append_file(path, bytes.data(), bytes.size());
}

void write_console(std::string_view text) {
  Bytes out;
  const std::string_view bytes = encode_text(text, out);
  write_file(standard_output(), bytes.data(), bytes.size());
}

}  // namespace pwdraw
