// Arbitrary bytes as the content of settings.ini, the one file others may
// write: decoded as the program reads it, through the line filter, the
// reader and the correction. A failed check aborts, so libFuzzer keeps the
// input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/parameters.h"
#include "app/settings.h"
#include "platform/text_file.h"

#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

namespace {

using namespace pwdraw;

bool same(const Parameters& a, const Parameters& b) {
  return a.quality == b.quality && a.type == b.type && a.number == b.number;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string_view text(bytes.data(), decode_text(bytes.data(), bytes.size()));
  FUZZ_CHECK(text.size() <= size && text.find('\x1a') == std::string_view::npos);

  LineBuffer line;
  for (const char c : clean_line(text.substr(0, 1013), line)) {
    FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
               c == '=' || c == '[' || c == ']');
  }

  // 18 reads of at most 1013 characters see nothing beyond them.
  const Parameters read = parse_settings(text);
  FUZZ_CHECK(same(read, parse_settings(text.substr(0, 18 * 1013))));

  // Corrected values are in range, and correcting them again changes nothing.
  Parameters fixed = read;
  correct_parameters(fixed, static_cast<std::uint32_t>(size % 10000 + 1));
  FUZZ_CHECK(fixed.quality >= 12 && fixed.quality <= 20 && fixed.type >= 1 && fixed.type <= 4 &&
             fixed.number >= 1 && fixed.number <= 10000);
  FUZZ_CHECK(!correct_parameters(fixed, 1));

  // The file we write for those values reads back as them, CR LF and all.
  SettingsText out;
  std::string disk;
  for (const char c : format_settings(fixed.quality, fixed.type, fixed.number, out)) {
    disk += c == '\n' ? "\r\n" : std::string(1, c);
  }
  FUZZ_CHECK(same(parse_settings({disk.data(), decode_text(disk.data(), disk.size())}), fixed));
  return 0;
}
