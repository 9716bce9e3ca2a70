#include "generator/password_log.h"

#include <cstdlib>
#include <limits>

#include "run_directory.h"

namespace pwdraw::test {
namespace {

using PasswordLogTest = RunDirectory;

// Each row's zone is set here on POSIX. A Windows process takes the
// machine's zone, which wine derives from TZ when it starts: the Windows suite
// runs this test once per zone, and each run checks the rows of its own.
TEST_F(PasswordLogTest, AppendsOneLineInLocalTime) {
  struct Case {
    const char* zone;
    std::time_t time;
    std::uint32_t type;
    const char* line;
  } cases[] = {
      {"UTC0", 1544282487, 3, "15:21:27 08_12_2018 PIN code:\t\t292\r\n"},
      {"UTC0", 2147483649, 3, "03:14:09 19_01_2038 PIN code:\t\t292\r\n"},
      {"UTC0", 4294967301, 1, "06:28:21 07_02_2106 Password 16:\tpuEQRCqaAgmllE5Z\r\n"},
      // No platform converts it; every one stamps it alike.
      {"UTC0", std::numeric_limits<std::time_t>::max(), 3,
       "00:00:00 00_01_1900 PIN code:\t\t292\r\n"},
      {"Europe/Berlin", 1711846799, 1, "01:59:59 31_03_2024 Password 16:\tpuEQRCqaAgmllE5Z\r\n"},
      {"Europe/Berlin", 1711846800, 2, "03:00:00 31_03_2024 Password 16:\tpuEQRCqaAgmllE5Z\r\n"},
      {"America/New_York", 1704067200, 4, "19:00:00 31_12_2023 Password 16:\tpuEQRCqaAgmllE5Z\r\n"},
      {"America/New_York", 1719835200, 4, "08:00:00 01_07_2024 Password 16:\tpuEQRCqaAgmllE5Z\r\n"},
      {"America/New_York", 4294967301, 3, "01:28:21 07_02_2106 PIN code:\t\t292\r\n"},
      {"Asia/Kolkata", 1719835200, 2, "17:30:00 01_07_2024 Password 16:\tpuEQRCqaAgmllE5Z\r\n"},
  };
  int checked = 0;
  for (const Case& c : cases) {
    if (!in_time_zone(c.zone)) continue;
    SCOPED_TRACE(c.line);
    pinned_clock = c.time;
    write_bytes("password.txt", "earlier\r\n");
    const std::string_view result = c.type == 3 ? "292" : "puEQRCqaAgmllE5Z";
    log_password(result, result.size(), c.type);
    EXPECT_EQ(read_bytes("password.txt"), std::string("earlier\r\n") + c.line);
    ++checked;
  }
  EXPECT_GT(checked, 0) << "no row for the time zone " << std::getenv("TZ");
}

}  // namespace
}  // namespace pwdraw::test
