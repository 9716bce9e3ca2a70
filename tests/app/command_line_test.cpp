#include "app/command_line.h"

#ifndef _WIN32
#include <sys/stat.h>

#include <array>
#include <csignal>
#endif
#include <vector>

#include "run_directory.h"

namespace pwdraw::test {
namespace {

using CommandLineTest = RunDirectory;

// One whole run in this process; returns what it wrote to standard output.
std::string run(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "pwdraw");
  return capture_console(
      [&] { run_command_line(static_cast<int>(arguments.size()), arguments.data()); });
}

TEST_F(CommandLineTest, FirstRunCreatesBothFilesAndSecondRunReadsThem) {
  const std::string line = "15:21:27 08_12_2018 Password 16:\tvMy6SrCgbW4p34vE\r\n";
  EXPECT_EQ(run({}), "Password:\tvMy6SrCgbW4p34vE\r\n");
  EXPECT_EQ(read_bytes("settings.ini"), settings_bytes(16, 2, 6992));
  EXPECT_EQ(read_bytes("password.txt"), line);
  for (const char* path : {"settings.ini", "password.txt"}) {
    expect_access(path, Access::owner_only);  // the log holds passwords
    set_access(path, Access::shared);
  }

  // Nothing needs correcting now, so the file must not be written again.
  const auto written = fs::last_write_time("settings.ini") - std::chrono::hours(1);
  fs::last_write_time("settings.ini", written);
  EXPECT_EQ(run({}), "Password:\tvMy6SrCgbW4p34vE\r\n");
  EXPECT_EQ(fs::last_write_time("settings.ini"), written);
  EXPECT_EQ(read_bytes("password.txt"), line + line);
  expect_access("password.txt", Access::shared);
}

TEST_F(CommandLineTest, ArgumentsAreCorrectedAndRewriteTheSettings) {
  struct Case {
    std::vector<const char*> arguments;
    const char* console;
    std::string settings;  // "" when the file must not be written
    std::time_t time = 1544282487;
  } cases[] = {
      {{"25", "7", "0"}, "Password:\t?6+?M4$qgmXBNKSs&6Ot", settings_bytes(20, 4, 6992)},
      {{"21", "5", "10001"}, "Password:\t?6+?M4$qgmXBNKSs&6Ot", settings_bytes(20, 4, 6992)},
      {{"11", "4", "10000"}, "Password:\tA?(f$Nu1SbhIWBce", settings_bytes(16, 4, 10000)},
      {{"20", "4", "10000", "extra"}, "Password:\tA?(f$Nu1SbhIWBce6K+1", ""},
      {{"12", "1", "500"}, "Password:\tWlbHbJ3KgvNb", ""},
      {{"12", "1", "1"}, "Password:\tUJWvZ14wAuMf", ""},
      {{"14"}, "Password:\tvMy6SrCgbW4p34", settings_bytes(14, 2, 6992)},
      {{"-14", "3", "10000"}, "PIN code:\t282", settings_bytes(20, 3, 10000)},
      {{"abc", "-4294967295", "99999999999"},
       "Password:\tICQJdI9LVYmK0qWq",
       settings_bytes(16, 1, 6992)},
      {{"20", "4"}, "Password:\t2b>8zC&mvq:AR,T!Xchk", settings_bytes(20, 4, 7772), 2147483649},
      {{"12", "3"}, "PIN code:\t306", settings_bytes(12, 3, 468), 4294967301},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.console);
    fs::remove("settings.ini");
    pinned_clock = c.time;
    EXPECT_EQ(run(c.arguments), std::string(c.console) + "\r\n");
    EXPECT_EQ(read_bytes("settings.ini"), c.settings);
  }
}

TEST_F(CommandLineTest, SettingsOutOfRangeAreCorrectedAndRewritten) {
  write_bytes("settings.ini", "quality=12\ntype=3\nnumber = 12345\n");
  set_access("settings.ini", Access::shared);
  EXPECT_EQ(run({}), "PIN code:\t771\r\n");
  EXPECT_EQ(read_bytes("settings.ini"), settings_bytes(12, 3, 6992));
  expect_access("settings.ini", Access::shared);
  EXPECT_EQ(read_bytes("password.txt"), "15:21:27 08_12_2018 PIN code:\t\t771\r\n");
}

#ifndef _WIN32
std::array<long long, 2> log_sizes;  // password.txt at each signal, -1 if missing
std::size_t signals_seen;

void record_log_size(int) {
  struct stat log;
  log_sizes[signals_seen++ % log_sizes.size()] =
      stat("password.txt", &log) == 0 ? static_cast<long long>(log.st_size) : -1;
}

TEST_F(CommandLineTest, SignalsWaitUntilTheShownPasswordIsLogged) {
  for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) {
    SCOPED_TRACE(signal);
    fs::remove("password.txt");
    signals_seen = 0;
    struct sigaction record = {}, before = {};
    record.sa_handler = record_log_size;
    sigaction(signal, &record, &before);
    signal_on_clock = signal;
    EXPECT_EQ(run({"12", "1", "500"}), "Password:\tWlbHbJ3KgvNb\r\n");
    signal_on_clock = 0;
    sigaction(signal, &before, nullptr);
    // Raised when the seed is read, it comes at once; raised when the log
    // line is stamped, it waits until the whole line is in the file.
    EXPECT_EQ(signals_seen, 2u);
    EXPECT_EQ(log_sizes, (std::array<long long, 2>{-1, 47}));
  }
  // One that whoever started us held stays held.
  sigset_t term, after;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  sigprocmask(SIG_BLOCK, &term, nullptr);
  run({"12", "1", "500"});
  sigprocmask(SIG_UNBLOCK, &term, &after);
  EXPECT_EQ(sigismember(&after, SIGTERM), 1);
}
#endif

}  // namespace
}  // namespace pwdraw::test
