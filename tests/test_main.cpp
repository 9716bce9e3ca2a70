// The unit tests write files of fixed names, settings.ini among them, so
// they run in a fresh directory of their own, never where they were started.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  testing::InitGoogleTest(&argc, argv);
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path dir = fs::temp_directory_path() / ("pwdraw-tests-" + std::to_string(now));
  fs::create_directory(dir);
  fs::current_path(dir);
  const int failed = RUN_ALL_TESTS();
  fs::current_path(dir.parent_path());
  fs::remove_all(dir);
  return failed;
}
