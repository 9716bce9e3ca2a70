// Runs the built program as its users do, with standard output in the
// states a shell or a script can leave it in.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/command_line.h"
#include "run_directory.h"

namespace pwdraw::test {
namespace {

using MainTest = RunDirectory;

enum class Output { pipe, broken_pipe, full_device, closed };

struct Outcome {
  int status;
  std::string console, errors;
};

Outcome run_program(Output output) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return {-1, "", "pipe failed"};
  if (output == Output::broken_pipe) close(pipe_fds[0]);
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGPIPE, SIG_DFL);  // as a shell leaves it, whatever ctest did
    dup2(open("stderr.out", O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    if (output == Output::full_device) dup2(open("/dev/full", O_WRONLY), 1);
    if (output == Output::pipe || output == Output::broken_pipe) dup2(pipe_fds[1], 1);
    if (output == Output::closed) close(1);
    close(pipe_fds[1]);
    execl(PWDRAW_EXE, PWDRAW_EXE, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipe_fds[1]);
  std::string console;
  char buffer[256];
  for (ssize_t got; output == Output::pipe && (got = read(pipe_fds[0], buffer, sizeof buffer)) > 0;) {
    console.append(buffer, static_cast<std::size_t>(got));
  }
  if (output != Output::broken_pipe) close(pipe_fds[0]);
  int status = -1;
  waitpid(pid, &status, 0);
  return {status, console, read_bytes("stderr.out")};
}

// The console and log lines the library makes from the same settings at
// `time`, so that the program's real clock can be matched exactly.
std::pair<std::string, std::string> expected_at(std::time_t time, const std::string& settings) {
  fs::create_directory("oracle");
  fs::current_path("oracle");
  write_bytes("settings.ini", settings);
  pinned_clock = time;
  const char* arguments[] = {"pwdraw"};
  std::pair<std::string, std::string> lines{capture_console([&] { run_command_line(1, arguments); }),
                                            read_bytes("password.txt")};
  fs::current_path("..");
  fs::remove_all("oracle");
  return lines;
}

TEST_F(MainTest, AnyStandardOutputKeepsTheLogLineAndExitsZero) {
  const std::string settings = "quality=12\r\ntype=1\r\nnumber=1\r\n";
  for (Output output : {Output::pipe, Output::broken_pipe, Output::full_device, Output::closed}) {
    SCOPED_TRACE(static_cast<int>(output));
    write_bytes("settings.ini", settings);
    write_bytes("password.txt", "earlier line\r\n");
    const std::time_t before = std::time(nullptr);
    const Outcome outcome = run_program(output);
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.errors, "");
    EXPECT_EQ(read_bytes("settings.ini"), settings);

    bool matched = false;
    for (std::time_t time = before; time <= after && !matched; ++time) {
      const auto [console, log] = expected_at(time, settings);
      matched = read_bytes("password.txt") == "earlier line\r\n" + log &&
                outcome.console == (output == Output::pipe ? console : "");
    }
    EXPECT_TRUE(matched) << outcome.console << read_bytes("password.txt");
  }
}

}  // namespace
}  // namespace pwdraw::test
