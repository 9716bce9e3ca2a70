#include "platform/text_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace pwdraw {
namespace {

std::string bytes_of(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
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
    std::remove("text_file.ini");
    std::ofstream("text_file.txt", std::ios::binary) << "earlier\r\n";
    replace_text_file("text_file.ini", text);
    append_text_file("text_file.txt", text);
    EXPECT_EQ(bytes_of("text_file.ini"), bytes);
    EXPECT_EQ(bytes_of("text_file.txt"), "earlier\r\n" + bytes);
  }
}

}  // namespace
}  // namespace pwdraw
