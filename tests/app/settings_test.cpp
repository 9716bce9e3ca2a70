#include "app/settings.h"

#include "run_directory.h"

namespace pwdraw::test {
namespace {

using SettingsTest = RunDirectory;

void expect_read(const std::string& bytes, const Parameters& expected) {
  SCOPED_TRACE(bytes.substr(0, 40));
  write_bytes("settings.ini", bytes);
  const Parameters read = read_settings().value();
  EXPECT_EQ(read.quality, expected.quality);
  EXPECT_EQ(read.type, expected.type);
  EXPECT_EQ(read.number, expected.number);
}

TEST_F(SettingsTest, ReadsValuesFromTheFile) {
  const std::string piece(1012, 'x');  // with its newline, one whole read
  const std::string blanks(1012, ' ');
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
      {"Quality = 18\nnumberxyz=5\nquality1=5\n[Options]=5\n[type]=3\ntypez=3\nAtype=3\n",
       {0, 0, 0}},
      {"#" + piece + "quality=18\n", {18, 0, 0}},
      {repeat(17, piece + "\r\n") + "quality=18\r\n", {18, 0, 0}},
      // 1012 characters and a newline make one read, the 18th included; a
      // lone CR is a character too, so here it ends the read and the comment.
      {repeat(17, blanks + "\r\n") + blanks.substr(6) + "type=3\r\n", {0, 3, 0}},
      {"#" + blanks.substr(1) + "\rtype=3\r\n", {0, 3, 0}},
      {repeat(17, "\n") + "quality=18\n", {18, 0, 0}},
      {repeat(18, "\n") + "quality=18\n", {0, 0, 0}},
  };
  for (const auto& [bytes, expected] : cases) expect_read(bytes, expected);
}

TEST(CleanLineTest, KeepsLettersDigitsAndKeyCharactersUpToAComment) {
  const std::string_view kept = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz=[]";
  const std::string_view ends = std::string_view("#;/\0", 4);
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    const std::string line = std::string("ty") + c + "pe=3";
    LineBuffer out;
    const std::string want = ends.find(c) != std::string_view::npos   ? "ty"
                             : kept.find(c) != std::string_view::npos ? line
                                                                      : "type=3";
    EXPECT_EQ(clean_line(line, out), want) << byte;
  }
}

TEST_F(SettingsTest, WritesTheCommentedFileThatReadsBack) {
  write_settings(16, 2, 6992);
  const std::string bytes = read_bytes("settings.ini");
  EXPECT_EQ(bytes, settings_bytes(16, 2, 6992));
  // The comments are UTF-8 on disk: "# от 1 до 4".
  EXPECT_NE(bytes.find("# \xD0\xBE\xD1\x82 1 \xD0\xB4\xD0\xBE 4\r\n"), std::string::npos);
  for (const Parameters& values : {Parameters{12, 1, 1}, Parameters{20, 4, 10000}}) {
    write_settings(values.quality, values.type, values.number);
    expect_read(read_bytes("settings.ini"), values);
  }
}

}  // namespace
}  // namespace pwdraw::test
