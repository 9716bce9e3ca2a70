#include "platform/text_file.h"

#include <array>

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

}  // namespace

std::size_t decode_text(char* data, std::size_t size) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < size && data[i] != kCtrlZ; ++i) {
    const bool cr_before_lf = data[i] == '\r' && i + 1 < size && data[i + 1] == '\n';
    if (!cr_before_lf) data[kept++] = data[i];
  }
  return kept;
}

std::optional<std::size_t> read_text_file(const char* path, char* data, std::size_t size) {
  const int fd = open_for_reading(path);
  if (fd == kNoFile) return 0;
  if (fd < 0) return std::nullopt;
  std::size_t raw = 0;
  long got = 0;
  while (raw < size && (got = read_file(fd, data + raw, size - raw)) > 0) {
    raw += static_cast<std::size_t>(got);
  }
  close_file(fd);
  if (got < 0) return std::nullopt;
  return decode_text(data, raw);
}

void replace_text_file(const char* path, std::string_view text) {
  Bytes out;
  const std::string_view bytes = encode_text(text, out);
  if (!bytes.empty()) replace_file(path, bytes.data(), bytes.size());
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
