#include "run_directory.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/clock.h"

namespace pwdraw {

std::time_t clock_now() { return test::pinned_clock; }

namespace test {

std::time_t pinned_clock;

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
      fs::temp_directory_path() / ("pwdraw-" + std::to_string(getpid()) + "-" +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::remove_all(dir_);
  fs::create_directories(dir_);
  fs::current_path(dir_);
  setenv("TZ", "UTC0", 1);
  pinned_clock = 1544282487;
}

void RunDirectory::TearDown() {
  fs::current_path(home_);
  fs::remove_all(dir_);
}

}  // namespace test
}  // namespace pwdraw
