// Arbitrary bytes as the content of settings.ini, decoded as the program
// reads it, through the line filter, the reader and the correction.
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "app/parameters.h"
#include "app/settings.h"
#include "platform/text_file.h"
#include "support.h"

namespace {

using namespace pwdraw;
using fuzz::same;

constexpr std::size_t kReads = 18;

// Where the reads end, found the plain way: each takes a line, newline
// included, of at most 1013 characters. Returns how many were made.
std::size_t end_of_reads(std::string_view text, std::size_t& end) {
  std::size_t reads = 0;
  for (end = 0; reads < kReads && end < text.size(); ++reads) {
    std::size_t size = 0;
    while (end + size < text.size() && size < 1013 && text[end + size++] != '\n') {
    }
    end += size;
  }
  return reads;
}

bool in_range(const Parameters& p) {
  return p.quality >= 12 && p.quality <= 20 && p.type >= 1 && p.type <= 4 && p.number >= 1 &&
         p.number <= 10000;
}

// settings.ini as it lands on disk and is read back.
Parameters round_trip(std::uint32_t quality, std::uint32_t type, std::uint32_t number) {
  SettingsText text;
  std::string disk = fuzz::on_disk(format_settings(quality, type, number, text));
  return parse_settings({disk.data(), decode_text(disk.data(), disk.size())});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string_view text(bytes.data(), decode_text(bytes.data(), bytes.size()));
  FUZZ_CHECK(text.size() <= size && text.find('\x1a') == std::string_view::npos);

  std::size_t end = 0;
  const std::size_t reads = end_of_reads(text, end);
  LineBuffer line;
  const std::string_view first = clean_line(text.substr(0, 1013), line);
  FUZZ_CHECK(first.size() <= std::min<std::size_t>(text.size(), 1013));
  for (const char c : first) {
    FUZZ_CHECK(std::isalnum(static_cast<unsigned char>(c)) || std::strchr("=[]", c) != nullptr);
  }

  // Nothing after the 18th read is looked at.
  const Parameters read = parse_settings(text);
  FUZZ_CHECK(same(read, parse_settings(text.substr(0, end))));
  if (reads == kReads) {
    const std::string more = std::string(text.substr(0, end)) + "\nquality=13\ntype=3\nnumber=77\n";
    FUZZ_CHECK(same(read, parse_settings(more)));
  }

  // Corrected values are in range, and correcting them again changes nothing.
  Parameters fixed = read;
  correct_parameters(fixed, static_cast<std::uint32_t>(size % 10000 + 1));
  FUZZ_CHECK(in_range(fixed));
  FUZZ_CHECK(!correct_parameters(fixed, 1));

  // A file of our own writing, with values chosen by the input, reads back.
  if (size >= 4) {
    const Parameters chosen{12u + data[0] % 9u, 1u + data[1] % 4u,
                            1u + (data[2] | static_cast<std::uint32_t>(data[3]) << 8) % 10000u};
    FUZZ_CHECK(same(round_trip(chosen.quality, chosen.type, chosen.number), chosen));
  }
  return 0;
}
