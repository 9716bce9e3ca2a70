#include "platform/text_file.h"

#include "run_directory.h"

namespace pwdraw::test {
namespace {

using TextFileTest = RunDirectory;

// A text goes out whole or not at all: one whose CR LF bytes would not fit
// the 2 KiB buffer is refused, never cut.
TEST_F(TextFileTest, WritesATextThatFitsWholeAndNoneThatDoesNot) {
  const struct {
    std::string text, bytes;
  } cases[] = {
      {std::string(2047, 'x'), std::string(2047, 'x')},
      {std::string(1024, '\n'), repeat(1024, "\r\n")},
      {std::string(2048, 'x'), ""},
      {std::string(1025, '\n'), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.size());
    fs::remove("settings.ini");
    write_bytes("password.txt", "earlier\r\n");
    replace_text_file("settings.ini", c.text);
    append_text_file("password.txt", c.text);
    EXPECT_EQ(read_bytes("settings.ini"), c.bytes);
    EXPECT_EQ(read_bytes("password.txt"), "earlier\r\n" + c.bytes);
  }
}

}  // namespace
}  // namespace pwdraw::test
