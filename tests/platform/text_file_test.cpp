#include "platform/text_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace pwdraw {

static std::string bytes_of(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// A text goes out whole or not at all: one whose CR LF bytes would not fit
// the 2 KiB buffer is refused, never cut.
TEST(TextFileTest, WritesATextThatFitsWholeAndNoneThatDoesNot) {
  std::string crlf;
  for (int i = 0; i < 1024; ++i) crlf += "\r\n";
  const std::pair<std::string, std::string> cases[] = {
      {std::string(2047, 'x'), std::string(2047, 'x')},
      {std::string(1024, '\n'), crlf},
      {std::string(2048, 'x'), ""},
      {std::string(1025, '\n'), ""},
  };
  for (const auto& [text, bytes] : cases) {
    SCOPED_TRACE(text.size());
    std::remove("settings.ini");
    std::ofstream("password.txt", std::ios::binary) << "earlier\r\n";
    replace_text_file("settings.ini", text, true);
    append_text_file("password.txt", text);
    EXPECT_EQ(bytes_of("settings.ini"), bytes);
    EXPECT_EQ(bytes_of("password.txt"), "earlier\r\n" + bytes);
  }
}

}  // namespace pwdraw
