#include "generator/password_log.h"

#include "run_directory.h"

namespace pwdraw::test {
namespace {

using PasswordLogTest = RunDirectory;

TEST_F(PasswordLogTest, AppendsOneLineInLocalTime) {
  [[maybe_unused]] const char* berlin = "CET-1CEST,M3.5.0,M10.5.0/3";
  [[maybe_unused]] const char* new_york = "EST5EDT,M3.2.0,M11.1.0";
  struct Case {
    const char* zone;
    std::time_t time;
    std::uint32_t type;
    const char* line;
  } cases[] = {
      {"UTC0", 1544282487, 3, "15:21:27 08_12_2018 PIN code:\t\t292\r\n"},
      {"UTC0", 2147483649, 3, "03:14:09 19_01_2038 PIN code:\t\t292\r\n"},
      {"UTC0", 4294967301, 1, "06:28:21 07_02_2106 Password 16:\tpuEQRCqaAgmllE5Z\r\n"},
#ifndef _WIN32  // the Windows C runtime knows no POSIX time-zone rules
      {berlin, 1711846799, 1, "01:59:59 31_03_2024 Password 16:\tpuEQRCqaAgmllE5Z\r\n"},
      {berlin, 1711846800, 2, "03:00:00 31_03_2024 Password 16:\tpuEQRCqaAgmllE5Z\r\n"},
      {new_york, 1704067200, 4, "19:00:00 31_12_2023 Password 16:\tpuEQRCqaAgmllE5Z\r\n"},
      {new_york, 1719835200, 4, "08:00:00 01_07_2024 Password 16:\tpuEQRCqaAgmllE5Z\r\n"},
      {"NZST-12NZDT,M9.5.0,M4.1.0/3", 1719835200, 2,
       "00:00:00 02_07_2024 Password 16:\tpuEQRCqaAgmllE5Z\r\n"},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    set_time_zone(c.zone);
    pinned_clock = c.time;
    write_bytes("password.txt", "earlier\r\n");
    const std::string_view result = c.type == 3 ? "292" : "puEQRCqaAgmllE5Z";
    log_password(result, result.size(), c.type);
    EXPECT_EQ(read_bytes("password.txt"), std::string("earlier\r\n") + c.line);
  }
}

}  // namespace
}  // namespace pwdraw::test
