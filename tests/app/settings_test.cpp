#include "app/settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

namespace pwdraw {

// `utf8` as UTF-16 of the given order, with its byte-order mark. One- and
// two-byte characters are all these cases hold.
static std::string utf16(std::string_view utf8, bool big_endian) {
  std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    unsigned code = static_cast<unsigned char>(utf8[i]);
    if (code >= 0xC0) code = (code & 0x1F) << 6 | (static_cast<unsigned char>(utf8[++i]) & 0x3F);
    const char high = static_cast<char>(code >> 8), low = static_cast<char>(code & 0xFF);
    out += big_endian ? std::string{high, low} : std::string{low, high};
  }
  return out;
}

// A file saved as UTF-16, of either byte order, reads as the same text in
// UTF-8 does, within the same limits.
TEST(SettingsTest, ReadsTheLastValueOfEachKeyFromTheFirst18Lines) {
  const std::string piece(1012, 'x');  // with its newline, one whole read
  const std::string blanks(1012, ' ');
  std::string lines_of_piece, lines_of_blanks;
  for (int i = 0; i < 17; ++i) lines_of_piece += piece + "\r\n", lines_of_blanks += blanks + "\r\n";
  std::string cyrillic;
  for (int i = 0; i < 600; ++i) cyrillic += "ж";
  const std::pair<std::string, Parameters> cases[] = {
      {"quality = 18\r\ntype=3\r\nnumber = 10000\r\n", {18, 3, 10000}},
      {"number = 12345\nnumber=123456", {0, 0, 12345}},
      {"quality = -14\n", {14, 0, 0}},
      {"type=1\r\n\x1aquality=18\n", {0, 1, 0}},
      {"quality=18 ; 9\ntype=3 // 4\nnumber = 1 8 # 9\n", {18, 3, 18}},
      {"quality = 18 kg\n", {18, 0, 0}},
      {"qual ity = 1.8\r\rtype\t=\t4\r\n", {18, 0, 0}},  // a lone CR ends no line
      {"quality=12\nquality=19\ntype=1\ntype=3\nquality=x\n", {19, 3, 0}},
      {std::string("quality\0=18\ntype=3\0", 20), {0, 3, 0}},
      {"Quality = 18\nnumberxyz=5\nquality1=5\n[Options]=5\n[type=3\ntype]=3\ntypez=3\nAtype=3\n",
       {0, 0, 0}},
      // Every other character between the letters of a key is dropped.
      {"ty\x01\t\v\f !\"$%&'()*+,-.:<>?@\\^_`{|}~\x7f\xD0\xB6pe=3\n", {0, 3, 0}},
      {"#" + piece + "quality=18\n", {18, 0, 0}},
      {lines_of_piece + "quality=18\r\n", {18, 0, 0}},
      // 1012 characters and a newline make one read, the 18th included; a
      // lone CR is a character too, so here it ends the read and the comment.
      {lines_of_blanks + blanks.substr(6) + "type=3\r\n", {0, 3, 0}},
      {"#" + blanks.substr(1) + "\rtype=3\r\n", {0, 3, 0}},
      {std::string(17, '\n') + "quality=18\n", {18, 0, 0}},
      {std::string(18, '\n') + "quality=18\n", {0, 0, 0}},
      // 600 letters: 1200 bytes of UTF-8, two reads, the second not hidden
      // by the "#" of the first.
      {"#" + cyrillic + "type=3\n", {0, 3, 0}},
  };
  for (const auto& [bytes, want] : cases) {
    for (const std::string& file : {bytes, utf16(bytes, false), utf16(bytes, true)}) {
      std::ofstream("settings.ini", std::ios::binary) << file;
      const Parameters read = read_settings().values;
      EXPECT_EQ(std::tie(read.quality, read.type, read.number),
                std::tie(want.quality, want.type, want.number))
          << file.substr(0, 40);
    }
  }
}

}  // namespace pwdraw
