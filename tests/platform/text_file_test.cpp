#include "platform/text_file.h"

#include "run_directory.h"

namespace pwdraw::test {
namespace {

using TextFileTest = RunDirectory;

TEST_F(TextFileTest, ReadDropsCrBeforeLfAndStopsAtCtrlZ) {
  struct Case {
    std::string bytes, text;
  } cases[] = {
      {"a\r\nb\r\n", "a\nb\n"},
      {"a\r\r\nb\r", "a\r\nb\r"},
      {std::string("a\0b\r\n\x1a" "c\r\n", 8), std::string("a\0b\n", 4)},
  };
  for (const Case& c : cases) {
    write_bytes("in.txt", c.bytes);
    char data[16];
    EXPECT_EQ(std::string(data, read_text_file("in.txt", data, sizeof data)), c.text);
  }
  char data[1];
  EXPECT_EQ(read_text_file("missing.txt", data, sizeof data), 0u);
}

TEST_F(TextFileTest, WritesCrLfIntoOwnerOnlyNewFilesAndKeepsExistingOnes) {
  std::string long_text, long_bytes;  // more than one output buffer
  for (int i = 0; i < 1500; ++i) {
    long_text += "\n";
    long_bytes += "\r\n";
  }
  write_text_file("new.txt", "a\nb\n\n");
  append_text_file("new.log", long_text);
  EXPECT_EQ(read_bytes("new.txt"), "a\r\nb\r\n\r\n");
  EXPECT_EQ(read_bytes("new.log"), long_bytes);
  const auto owner_only = fs::perms::owner_read | fs::perms::owner_write;
  EXPECT_EQ(fs::status("new.txt").permissions(), owner_only);
  EXPECT_EQ(fs::status("new.log").permissions(), owner_only);

  const auto shared = owner_only | fs::perms::group_read;
  for (const char* path : {"old.txt", "old.log"}) {
    write_bytes(path, "old\r\n");
    fs::permissions(path, shared);
  }
  write_text_file("old.txt", "new\n");
  append_text_file("old.log", "new\n");
  EXPECT_EQ(read_bytes("old.txt"), "new\r\n");
  EXPECT_EQ(read_bytes("old.log"), "old\r\nnew\r\n");
  EXPECT_EQ(fs::status("old.txt").permissions(), shared);
  EXPECT_EQ(fs::status("old.log").permissions(), shared);
}

}  // namespace
}  // namespace pwdraw::test
