// Shared by the tests: a pinned clock, an empty working directory for each
// test, and the bytes a run leaves on disk.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

namespace pwdraw::test {

namespace fs = std::filesystem;

/// What clock_now() returns in the test binary; each test starts at
/// 2018-12-08 15:21:27 UTC, whose first draw gives the candidate 6992.
extern std::time_t pinned_clock;

/// A signal that clock_now() raises each time it is read, when not 0.
extern int signal_on_clock;

/// `text` `count` times over.
std::string repeat(int count, const std::string& text);

std::string read_bytes(const fs::path& path);  // "" when missing
void write_bytes(const fs::path& path, const std::string& bytes);

/// Whether local time is now converted in `zone`, a TZ value: POSIX sets
/// it; on Windows it is the zone the process started in.
bool in_time_zone(const char* zone);

/// Runs `run` with standard output going to a file; returns what it wrote.
std::string capture_console(const std::function<void()>& run);

/// Who may use a file: its owner alone (mode 0600; on Windows an access list
/// of the user alone, apart from the directory's), or its group too (0640;
/// on Windows, read access for Everyone as well).
enum class Access { owner_only, shared };
void set_access(const fs::path& path, Access access);
void expect_access(const fs::path& path, Access access);

/// settings.ini exactly as the program writes it.
std::string settings_bytes(unsigned quality, unsigned type, unsigned number);

/// Each test runs in an empty temporary directory, at the pinned time, in
/// UTC (on Windows, the suite runs with TZ=UTC0).
class RunDirectory : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  fs::path home_, dir_;
};

}  // namespace pwdraw::test
