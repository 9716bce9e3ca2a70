// Shared by the tests: a pinned clock, an empty working directory for each
// test, and the bytes a run leaves on disk.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>

namespace pwdraw::test {

namespace fs = std::filesystem;

/// What clock_now() returns in the test binary; each test starts at
/// 2018-12-08 15:21:27 UTC, whose first draw gives the candidate 6992.
extern std::time_t pinned_clock;

std::string read_bytes(const fs::path& path);  // "" when missing
void write_bytes(const fs::path& path, const std::string& bytes);

/// settings.ini exactly as the program writes it.
std::string settings_bytes(unsigned quality, unsigned type, unsigned number);

/// Each test runs in an empty temporary directory, at the pinned time, in UTC.
class RunDirectory : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  fs::path home_, dir_;
};

}  // namespace pwdraw::test
