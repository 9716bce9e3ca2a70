// The local time of the log's stamp on Windows, from the system's zone.
#include <cstdint>

#include "platform/system.h"
#include "platform/win32/win32.h"

// A 32-bit time_t reads every clock after 2038-01-19 wrong; 32-bit mingw
// builds have one unless built with __MINGW_USE_VC2005_COMPAT.
static_assert(sizeof(std::time_t) >= 8, "build with -D__MINGW_USE_VC2005_COMPAT");

namespace pwdraw {

// The zone is the system's setting, never the C runtime's reading of TZ,
// which shells may set to names it does not know. The rules are those of
// the year in question, as the system keeps them.
bool to_local_time(std::time_t time, std::tm& local) {
  constexpr std::int64_t kFrom1601 = 11644473600;  // seconds from 1601 to 1970
  constexpr std::int64_t kTicksPerSecond = 10000000;
  if (time < -kFrom1601 || time > INT64_MAX / kTicksPerSecond - kFrom1601) return false;
  const auto ticks = static_cast<std::uint64_t>((time + kFrom1601) * kTicksPerSecond);
  const FILETIME file_time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME utc, here;
  DYNAMIC_TIME_ZONE_INFORMATION zone;
  TIME_ZONE_INFORMATION rules;
  if (!FileTimeToSystemTime(&file_time, &utc) ||
      GetDynamicTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) {
    return false;
  }
  if (zone.DynamicDaylightTimeDisabled ||
      !GetTimeZoneInformationForYear(utc.wYear, &zone, &rules)) {
    rules = {zone.Bias,        {}, zone.StandardDate, zone.StandardBias, {}, zone.DaylightDate,
             zone.DaylightBias};
  }
  if (!SystemTimeToTzSpecificLocalTime(&rules, &utc, &here)) return false;
  local = {};
  local.tm_year = here.wYear - 1900;
  local.tm_mon = here.wMonth - 1;
  local.tm_mday = here.wDay;
  local.tm_hour = here.wHour;
  local.tm_min = here.wMinute;
  local.tm_sec = here.wSecond;
  local.tm_wday = here.wDayOfWeek;
  return true;
}

}  // namespace pwdraw
