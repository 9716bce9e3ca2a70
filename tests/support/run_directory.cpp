#include "run_directory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/clock.h"

namespace pwdraw {

std::time_t clock_now() { return test::pinned_clock; }

namespace test {

std::time_t pinned_clock = kPinnedTime;

std::string read_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void write_bytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string settings_bytes(unsigned quality, unsigned type, unsigned number) {
  return "[Options]\r\n# v 2.0\r\n# https://github.com/pwdraw/pwdraw\r\n\r\n"
         "# качество пароля\r\n# от 12 до 20\r\nquality = " +
         std::to_string(quality) +
         "\r\n\r\n# тип пароля\r\n# от 1 до 4\r\ntype = " +
         std::to_string(type) +
         "\r\n\r\n# для индивидуального\r\n# рандома\r\n# от 1 до 10000\r\n"
         "number = " +
         std::to_string(number) + "\r\n\r\n";
}

int redirect_console(const char* path) {
  std::fflush(stdout);
  const int saved = dup(1);
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(fd, 1);
  close(fd);
  return saved;
}

void restore_console(int saved) {
  dup2(saved, 1);
  close(saved);
}

void RunDirectory::SetUp() {
  home_ = std::filesystem::current_path();
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  dir_ = std::filesystem::temp_directory_path() /
         ("pwdraw-" + std::to_string(getpid()) + "-" + info->name());
  std::filesystem::remove_all(dir_);
  std::filesystem::create_directories(dir_);
  std::filesystem::current_path(dir_);
  setenv("TZ", "UTC0", 1);
  pinned_clock = kPinnedTime;
}

void RunDirectory::TearDown() {
  std::filesystem::current_path(home_);
  std::filesystem::remove_all(dir_);
}

}  // namespace test
}  // namespace pwdraw
