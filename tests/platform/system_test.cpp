#include "platform/system.h"

#include <string>
#include <thread>
#include <vector>

#include "run_directory.h"

namespace pwdraw::test {
namespace {

using SystemTest = RunDirectory;

// Writers on handles of their own, as concurrent runs are: a find-the-end-
// then-write append (the Windows C runtime's O_APPEND) loses about one line
// in twenty here; every line must arrive, whole and once.
TEST_F(SystemTest, ConcurrentAppendsKeepEveryLine) {
  constexpr int kWriters = 8, kLines = 200;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([w] {
      for (int i = 0; i < kLines; ++i) {
        const std::string line = std::to_string(w * kLines + i) + "\r\n";
        append_file("password.txt", line.data(), line.size());
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  std::vector<int> seen(kWriters * kLines);
  std::string log = read_bytes("password.txt");
  for (std::size_t end; (end = log.find("\r\n")) != std::string::npos; log.erase(0, end + 2)) {
    const int number = std::stoi(log.substr(0, end));
    ASSERT_TRUE(number >= 0 && number < kWriters * kLines) << number;
    ++seen[static_cast<std::size_t>(number)];
  }
  EXPECT_EQ(log, "");
  EXPECT_EQ(std::vector<int>(kWriters * kLines, 1), seen);
}

}  // namespace
}  // namespace pwdraw::test
