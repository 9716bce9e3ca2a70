// Shared by the tests: a pinned clock, a fresh working directory for each
// test, and the bytes a run leaves on standard output and on disk.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>

namespace pwdraw::test {

namespace fs = std::filesystem;

/// What clock_now() returns in the test binary.
extern std::time_t pinned_clock;

/// 2018-12-08 15:21:27 UTC; its first draw gives the candidate 6992.
inline constexpr std::time_t kPinnedTime = 1544282487;

std::string read_bytes(const std::filesystem::path& path);  // "" when missing
void write_bytes(const std::filesystem::path& path, const std::string& bytes);

/// settings.ini exactly as the program writes it.
std::string settings_bytes(unsigned quality, unsigned type, unsigned number);

/// Runs `run` with standard output sent to a file and returns what it wrote.
template <typename Run>
std::string capture_console(Run run);

/// Each test runs in an empty temporary directory, at kPinnedTime, in UTC.
class RunDirectory : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  std::filesystem::path home_;
  std::filesystem::path dir_;
};

int redirect_console(const char* path);  // returns the saved descriptor
void restore_console(int saved);

template <typename Run>
std::string capture_console(Run run) {
  const int saved = redirect_console("console.out");
  run();
  restore_console(saved);
  return read_bytes("console.out");
}

}  // namespace pwdraw::test
