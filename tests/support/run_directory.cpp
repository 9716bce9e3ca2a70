#include "run_directory.h"

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <stdlib.h>
#else
#include <stdlib.h>
#include <unistd.h>
#endif

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/clock.h"

namespace pwdraw {

std::time_t clock_now() {
  if (test::signal_on_clock != 0) std::raise(test::signal_on_clock);
  return test::pinned_clock;
}

namespace test {
namespace {

#ifdef _WIN32
int process_id() { return _getpid(); }
int duplicate(int fd) { return _dup(fd); }
void duplicate_to(int fd, int to) {
  _dup2(fd, to);
  _close(fd);
}
int create(const char* path) {
  return _open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}
#else
int process_id() { return getpid(); }
int duplicate(int fd) { return dup(fd); }
void duplicate_to(int fd, int to) {
  dup2(fd, to);
  close(fd);
}
int create(const char* path) { return open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600); }
#endif

}  // namespace

std::time_t pinned_clock;
int signal_on_clock = 0;

void set_time_zone(const char* zone) {
#ifdef _WIN32
  _putenv_s("TZ", zone);
#else
  setenv("TZ", zone, 1);
#endif
}

std::string capture_console(const std::function<void()>& run) {
  std::fflush(stdout);
  const int saved = duplicate(1);
  duplicate_to(create("console.out"), 1);
  run();
  duplicate_to(saved, 1);
  return read_bytes("console.out");
}

void expect_mode(const fs::path& path, fs::perms mode) {
#ifdef _WIN32
  (void)path, (void)mode;
#else
  EXPECT_EQ(fs::status(path).permissions(), mode) << path;
#endif
}

std::string read_bytes(const fs::path& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

void write_bytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string settings_bytes(unsigned quality, unsigned type, unsigned number) {
  return "[Options]\r\n# v 2.0\r\n# https://github.com/pwdraw/pwdraw\r\n\r\n"
         "# качество пароля\r\n# от 12 до 20\r\nquality = " +
         std::to_string(quality) +
         "\r\n\r\n# тип пароля\r\n# от 1 до 4\r\ntype = " + std::to_string(type) +
         "\r\n\r\n# для индивидуального\r\n# рандома\r\n# от 1 до 10000\r\nnumber = " +
         std::to_string(number) + "\r\n\r\n";
}

void RunDirectory::SetUp() {
  home_ = fs::current_path();
  dir_ =
      fs::temp_directory_path() / ("pwdraw-" + std::to_string(process_id()) + "-" +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::remove_all(dir_);
  fs::create_directories(dir_);
  fs::current_path(dir_);
  set_time_zone("UTC0");
  pinned_clock = 1544282487;
}

void RunDirectory::TearDown() {
  fs::current_path(home_);
  fs::remove_all(dir_);
}

}  // namespace test
}  // namespace pwdraw
