#include "platform/system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <thread>
#include <vector>

namespace pwdraw {

// Writers on handles of their own, as concurrent runs are: a find-the-end-
// then-write append (the Windows C runtime's O_APPEND) loses about one line
// in twenty here; every line must arrive, whole and once.
TEST(SystemTest, ConcurrentAppendsKeepEveryLine) {
  std::vector<std::string> want, lines;
  for (std::size_t n = 0; n < 1600; ++n) want.push_back(std::to_string(n) + "\r");
  std::vector<std::thread> writers;
  for (std::size_t w = 0; w < 8; ++w) {
    writers.emplace_back([&want, w] {
      for (std::size_t n = w; n < 1600; n += 8)
        append_file("password.txt", (want[n] + "\n").data(), want[n].size() + 1);
    });
  }
  for (std::thread& writer : writers) writer.join();
  std::ifstream log("password.txt", std::ios::binary);
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  std::sort(want.begin(), want.end());
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, want);
}

}  // namespace pwdraw
