// Runs the built program with standard output in each state that a shell or
// a script can leave it in.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>

#include "run_directory.h"

namespace pwdraw::test {
namespace {

using MainTest = RunDirectory;

enum class Output { pipe, broken_pipe, full_device, closed };

// Returns the exit status; `console` gets what a reader of the pipe saw.
int run_program(Output output, std::string& console) {
  int ends[2];
  if (pipe(ends) != 0) return -1;
  if (output == Output::broken_pipe) close(ends[0]);
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGPIPE, SIG_DFL);  // as a shell leaves it, whatever ran the tests
    dup2(open("errors.out", O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    if (output == Output::full_device) dup2(open("/dev/full", O_WRONLY), 1);
    if (output == Output::pipe || output == Output::broken_pipe) dup2(ends[1], 1);
    if (output == Output::closed) close(1);
    execl(PWDRAW_EXE, PWDRAW_EXE, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ends[1]);
  char buffer[256];
  for (ssize_t got; output == Output::pipe && (got = read(ends[0], buffer, sizeof buffer)) > 0;) {
    console.append(buffer, static_cast<std::size_t>(got));
  }
  if (output != Output::broken_pipe) close(ends[0]);
  int status = -1;
  waitpid(pid, &status, 0);
  return status;
}

TEST_F(MainTest, AnyStandardOutputKeepsTheLogLineAndExitsZero) {
  const std::string settings = "quality=12\r\ntype=1\r\nnumber=1\r\n";
  const std::regex line(
      "earlier\r\n\\d\\d:\\d\\d:\\d\\d \\d\\d_\\d\\d_20\\d\\d Password 12:\t([0-9A-Za-z]{12})\r\n");
  for (Output output : {Output::pipe, Output::broken_pipe, Output::full_device, Output::closed}) {
    SCOPED_TRACE(static_cast<int>(output));
    write_bytes("settings.ini", settings);
    write_bytes("password.txt", "earlier\r\n");
    std::string console;
    EXPECT_EQ(run_program(output, console), 0);
    EXPECT_EQ(read_bytes("errors.out"), "");
    EXPECT_EQ(read_bytes("settings.ini"), settings);
    std::smatch log;
    const std::string bytes = read_bytes("password.txt");
    ASSERT_TRUE(std::regex_match(bytes, log, line)) << bytes;
    EXPECT_EQ(console, output == Output::pipe ? "Password:\t" + log[1].str() + "\r\n" : "");
  }
}

}  // namespace
}  // namespace pwdraw::test
