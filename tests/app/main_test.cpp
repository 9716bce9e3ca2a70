// Runs the built program from a shell, with standard output in each state
// that a shell or a script can leave it in.
#include <csignal>
#include <cstdlib>
#include <regex>

#include "run_directory.h"

namespace pwdraw::test {
namespace {

using MainTest = RunDirectory;

TEST_F(MainTest, AnyStandardOutputKeepsTheLogLineAndExitsZero) {
  const std::string run = std::string("{ ") + PWDRAW_EXE + " 2>errors.out; echo $? >status.out; }";
  const std::string shells[] = {
      run + " | cat >console.out",
      "{ sleep 0.2; " + run + "; } | true",  // the reader is gone before the write
      run + " >/dev/full",
      run + " >&-",
  };
  const std::string settings = "quality=12\r\ntype=1\r\nnumber=1\r\n";
  const std::regex line(
      "earlier\r\n\\d\\d:\\d\\d:\\d\\d \\d\\d_\\d\\d_20\\d\\d Password 12:\t([0-9A-Za-z]{12})\r\n");
  std::signal(SIGPIPE, SIG_DFL);  // as a shell leaves it, whatever ran the tests
  for (const std::string& shell : shells) {
    SCOPED_TRACE(shell);
    write_bytes("settings.ini", settings);
    write_bytes("password.txt", "earlier\r\n");
    fs::remove("console.out");
    ASSERT_EQ(std::system(shell.c_str()), 0);
    EXPECT_EQ(read_bytes("status.out"), "0\n");
    EXPECT_EQ(read_bytes("errors.out"), "");
    EXPECT_EQ(read_bytes("settings.ini"), settings);
    std::smatch log;
    const std::string bytes = read_bytes("password.txt");
    ASSERT_TRUE(std::regex_match(bytes, log, line)) << bytes;
    if (shell == shells[0]) {
      EXPECT_EQ(read_bytes("console.out"), "Password:\t" + log[1].str() + "\r\n");
    }
  }
}

}  // namespace
}  // namespace pwdraw::test
