#include "platform/text_file.h"

#include <array>

#include "platform/system.h"

namespace pwdraw {
namespace {

constexpr char kCtrlZ = 26;

// Failures are silent by design: the run goes on without the file.
void write_text(int fd, std::string_view text) {
  std::array<char, 1024> out;
  std::size_t used = 0;
  for (const char c : text) {
    if (used + 2 > out.size()) {
      if (!write_file(fd, out.data(), used)) return;
      used = 0;
    }
    if (c == '\n') out[used++] = '\r';
    out[used++] = c;
  }
  write_file(fd, out.data(), used);
}

void write_text_to(const char* path, OpenMode mode, std::string_view text) {
  const int fd = open_file(path, mode);
  if (fd < 0) return;
  write_text(fd, text);
  close_file(fd);
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

std::size_t read_text_file(const char* path, char* data, std::size_t size) {
  const int fd = open_file(path, OpenMode::read);
  if (fd < 0) return 0;
  std::size_t raw = 0;
  while (raw < size) {
    const long got = read_file(fd, data + raw, size - raw);
    if (got <= 0) break;
    raw += static_cast<std::size_t>(got);
  }
  close_file(fd);
  return decode_text(data, raw);
}

void write_text_file(const char* path, std::string_view text) {
  write_text_to(path, OpenMode::truncate, text);
}

void append_text_file(const char* path, std::string_view text) {
  write_text_to(path, OpenMode::append, text);
}

void write_console(std::string_view text) { write_text(standard_output(), text); }

}  // namespace pwdraw
