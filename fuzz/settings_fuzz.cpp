// Arbitrary bytes as settings.ini, the one file others may write, read as
// the program reads it, under the sanitizers: nothing past the 18 reads of
// at most 1013 characters may count, and the file the program would write
// for the corrected values must read back as them.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <tuple>

#include "app/parameters.h"
#include "app/settings.h"
#include "platform/text_file.h"

using namespace pwdraw;

static auto read_text(std::string bytes, std::size_t limit = std::string::npos) {
  const Parameters p = parse_settings(
      std::string_view(bytes.data(), decode_text(bytes.data(), bytes.size())).substr(0, limit));
  return std::make_tuple(p.quality, p.type, p.number);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (read_text(bytes) != read_text(bytes, 18 * 1013)) std::abort();
  Parameters values;
  std::tie(values.quality, values.type, values.number) = read_text(bytes);
  correct_parameters(values, static_cast<std::uint32_t>(size % 10000 + 1));
  // The CR written before each LF would be dropped again as it is read.
  SettingsText out;
  const std::string text(format_settings(values.quality, values.type, values.number, out));
  if (read_text(text) != std::make_tuple(values.quality, values.type, values.number)) std::abort();
  return 0;
}
