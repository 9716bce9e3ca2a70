#include "run_directory.h"

#include <fcntl.h>
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// Headers that need windows.h first.
#include <aclapi.h>
#include <sddl.h>
// The C runtime's descriptor calls, after windows.h.
#include <io.h>
#include <process.h>
#include <stdlib.h>
#else
#include <stdlib.h>
#include <unistd.h>
#endif

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

#include "platform/clock.h"

namespace pwdraw {

std::time_t clock_now() {
  if (test::signal_on_clock != 0) std::raise(test::signal_on_clock);
  return test::pinned_clock;
}

namespace test {
namespace {

#ifdef _WIN32
int process_id() { return _getpid(); }
int duplicate(int fd) { return _dup(fd); }
void duplicate_to(int fd, int to) {
  _dup2(fd, to);
  _close(fd);
}
int create(const char* path) {
  return _open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}
#else
int process_id() { return getpid(); }
int duplicate(int fd) { return dup(fd); }
void duplicate_to(int fd, int to) {
  dup2(fd, to);
  close(fd);
}
int create(const char* path) { return open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600); }
#endif

}  // namespace

std::time_t pinned_clock;
int signal_on_clock = 0;

bool in_time_zone(const char* zone) {
#ifdef _WIN32
  const char* started_in = std::getenv("TZ");
  return started_in != nullptr && std::string_view(started_in) == zone;
#else
  return setenv("TZ", zone, 1) == 0;
#endif
}

std::string capture_console(const std::function<void()>& run) {
  std::fflush(stdout);
  const int saved = duplicate(1);
  duplicate_to(create("console.out"), 1);
  run();
  duplicate_to(saved, 1);
  return read_bytes("console.out");
}

#ifdef _WIN32
// The access list `access` stands for, in the system's text form. Wine keeps
// no access list: it turns one into the file's POSIX mode and reads that back
// as one, with SYSTEM added and FR spelled out.
std::wstring access_text(Access access) {
  const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  HANDLE token = nullptr;
  alignas(TOKEN_USER) std::array<unsigned char, 256> user;
  DWORD size = 0;
  wchar_t* sid = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size);
  CloseHandle(token);
  ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid);
  const std::wstring text = (wine ? L"D:(A;;FA;;;SY)" : L"D:P") +
                            (L"(A;;FA;;;" + std::wstring(sid)) + L")" +
                            (access == Access::owner_only ? L""
                             : wine                       ? L"(A;;0x1200a9;;;WD)"
                                                          : L"(A;;FR;;;WD)");
  LocalFree(sid);
  return text;
}

void set_access(const fs::path& path, Access access) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      access_text(access).c_str(), SDDL_REVISION_1, &descriptor, nullptr));
  BOOL present, defaulted;
  ACL* list = nullptr;
  GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted);
  EXPECT_EQ(SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, list, nullptr),
            ERROR_SUCCESS);
  LocalFree(descriptor);
}

void expect_access(const fs::path& path, Access access) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  wchar_t* text = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, nullptr, nullptr, &descriptor),
            ERROR_SUCCESS);
  ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                       DACL_SECURITY_INFORMATION, &text, nullptr);
  EXPECT_EQ(std::wstring(text ? text : L""), access_text(access)) << path;
  LocalFree(text);
  LocalFree(descriptor);
}
#else
fs::perms mode(Access access) {
  const fs::perms owner_only = fs::perms::owner_read | fs::perms::owner_write;
  return access == Access::owner_only ? owner_only : owner_only | fs::perms::group_read;
}

void set_access(const fs::path& path, Access access) { fs::permissions(path, mode(access)); }

void expect_access(const fs::path& path, Access access) {
  EXPECT_EQ(fs::status(path).permissions(), mode(access)) << path;
}
#endif

std::string repeat(int count, const std::string& text) {
  std::string all;
  while (count-- > 0) all += text;
  return all;
}

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
      fs::temp_directory_path() / ("pwdraw-" + std::to_string(process_id()) + "-" +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::remove_all(dir_);
  fs::create_directories(dir_);
  fs::current_path(dir_);
  in_time_zone("UTC0");
  pinned_clock = 1544282487;
}

void RunDirectory::TearDown() {
  fs::current_path(home_);
  fs::remove_all(dir_);
}

}  // namespace test
}  // namespace pwdraw
