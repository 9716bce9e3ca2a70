// pwdraw.exe carries the version resource that Windows shows among a file's
// properties, filled in from the project.
#define WIN32_LEAN_AND_MEAN
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/homepage.h"

namespace pwdraw::test {
namespace {

std::wstring wide(const char* text) { return std::wstring(text, text + std::strlen(text)); }

TEST(VersionResourceTest, NamesTheProgramItsVersionAndHomePage) {
  const std::wstring exe = wide(PWDRAW_EXE);
  std::vector<unsigned char> resource(GetFileVersionInfoSizeW(exe.c_str(), nullptr));
  ASSERT_FALSE(resource.empty()) << PWDRAW_EXE;
  ASSERT_TRUE(
      GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(resource.size()), resource.data()));
  const struct {
    const wchar_t* name;
    std::wstring value;
  } strings[] = {
      {L"ProductName", L"pwdraw"},
      {L"OriginalFilename", L"pwdraw.exe"},
      {L"FileDescription", L"Console password generator"},
      {L"FileVersion", wide(PWDRAW_VERSION)},
      {L"ProductVersion", wide(PWDRAW_VERSION)},
      {L"Comments", wide(PWDRAW_HOMEPAGE_URL)},
  };
  for (const auto& s : strings) {
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + s.name;
    EXPECT_TRUE(
        VerQueryValueW(resource.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) &&
        value != nullptr && value == s.value)
        << std::string(s.value.begin(), s.value.end());
  }
}

}  // namespace
}  // namespace pwdraw::test
