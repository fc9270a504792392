// Calendar fields over days counted from 1970 (the proleptic Gregorian
// calendar, as file times use it), and the zone over the C library's.
#include "compat/win32/SystemTime.h"

#include <time.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>

#include "compat/win32/Error.h"

namespace {

constexpr std::int64_t kTicksPerMs = 10000;
constexpr std::int64_t kMsPerDay = 86400000;
constexpr std::int64_t kDaysBeforeUnixEpoch = 134774;  // 1601-01-01 to 1970-01-01
constexpr std::int64_t kLastYear = 30827;

// Days since 1970-01-01 of a date, and back (Gregorian, any year).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

void CivilFromDays(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned mp = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2);
}

unsigned DaysInMonth(std::int64_t year, unsigned month) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// Milliseconds since 1970 of a calendar time, and back.
std::optional<std::int64_t> MsOf(const SYSTEMTIME& time) {
  if (time.wYear < 1601 || time.wYear > kLastYear || time.wMonth < 1 || time.wMonth > 12 || time.wDay < 1 ||
      time.wDay > DaysInMonth(time.wYear, time.wMonth) || time.wHour > 23 || time.wMinute > 59 ||
      time.wSecond > 59 || time.wMilliseconds > 999) {
    return std::nullopt;
  }
  return DaysFromCivil(time.wYear, time.wMonth, time.wDay) * kMsPerDay +
         ((time.wHour * 60 + time.wMinute) * 60 + time.wSecond) * 1000 + time.wMilliseconds;
}

SYSTEMTIME TimeOfMs(std::int64_t ms) {
  std::int64_t days = ms / kMsPerDay;
  std::int64_t rest = ms % kMsPerDay;
  if (rest < 0) {
    rest += kMsPerDay;
    --days;
  }
  std::int64_t year;
  unsigned month, day;
  CivilFromDays(days, year, month, day);
  SYSTEMTIME out{};
  out.wYear = static_cast<WORD>(year);
  out.wMonth = static_cast<WORD>(month);
  out.wDay = static_cast<WORD>(day);
  out.wDayOfWeek = static_cast<WORD>(((days + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
  out.wHour = static_cast<WORD>(rest / 3600000);
  out.wMinute = static_cast<WORD>(rest / 60000 % 60);
  out.wSecond = static_cast<WORD>(rest / 1000 % 60);
  out.wMilliseconds = static_cast<WORD>(rest % 1000);
  return out;
}

// The zone's offset east of UTC in seconds at an instant, and whether it is
// daylight time then. Callers run tzset() first: localtime_r does not look
// at TZ again by itself.
struct Offset {
  long seconds;
  bool daylight;
};
Offset OffsetAt(std::int64_t seconds) {
  const auto t = static_cast<time_t>(seconds);
  tm local{};
  localtime_r(&t, &local);
  return {local.tm_gmtoff, local.tm_isdst > 0};
}

// The rule of a transition at `instant` (seconds), told in the wall-clock
// time that ends there.
SYSTEMTIME RuleOf(std::int64_t instant) {
  SYSTEMTIME wall = TimeOfMs((instant + OffsetAt(instant - 1).seconds) * 1000);
  const unsigned week = (wall.wDay - 1u) / 7u + 1u;
  const bool last = wall.wDay + 7u > DaysInMonth(wall.wYear, wall.wMonth);
  wall.wDay = static_cast<WORD>(last ? 5u : week);
  wall.wYear = 0;
  return wall;
}

}  // namespace

void WINAPI GetSystemTimeAsFileTime(FILETIME* fileTime) {
  *fileTime = compat::win32::ToFileTime(compat::win32::FileTimeTicksNow());
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
  const std::uint64_t ticks = (static_cast<std::uint64_t>(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
  if (ticks >= 0x8000000000000000ull) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *systemTime = TimeOfMs(static_cast<std::int64_t>(ticks) / kTicksPerMs - kDaysBeforeUnixEpoch * kMsPerDay);
  return TRUE;
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime) {
  const std::optional<std::int64_t> ms = MsOf(*systemTime);
  if (!ms) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *fileTime = compat::win32::ToFileTime(static_cast<std::uint64_t>((*ms + kDaysBeforeUnixEpoch * kMsPerDay) * kTicksPerMs));
  return TRUE;
}

DWORD WINAPI GetTimeZoneInformation(LPTIME_ZONE_INFORMATION zone) {
  std::memset(zone, 0, sizeof *zone);
  tzset();
  const std::int64_t now = time(nullptr);
  const SYSTEMTIME today = TimeOfMs(now * 1000);
  const std::int64_t start = DaysFromCivil(today.wYear, 1, 1) * 86400;
  const std::int64_t end = DaysFromCivil(today.wYear + 1, 1, 1) * 86400;
  // Walk the year a day at a time; each change of offset is then narrowed
  // down to its second.
  std::optional<Offset> standard, daylight;
  std::optional<std::int64_t> toDaylight, toStandard;
  Offset before = OffsetAt(start);
  for (std::int64_t day = start + 86400; day <= end; day += 86400) {
    const Offset after = OffsetAt(day);
    (before.daylight ? daylight : standard) = before;
    if (after.seconds == before.seconds && after.daylight == before.daylight) continue;
    std::int64_t low = day - 86400, high = day;
    while (high - low > 1) {
      const std::int64_t middle = low + (high - low) / 2;
      const Offset at = OffsetAt(middle);
      (at.seconds == before.seconds && at.daylight == before.daylight ? low : high) = middle;
    }
    (after.daylight ? toDaylight : toStandard) = high;
    before = after;
  }
  (before.daylight ? daylight : standard) = before;
  const long standardSeconds = standard ? standard->seconds : (daylight ? daylight->seconds : 0);
  zone->Bias = static_cast<LONG>(-standardSeconds / 60);
  if (!daylight || !toDaylight || !toStandard) return TIME_ZONE_ID_UNKNOWN;
  zone->DaylightBias = static_cast<LONG>(-(daylight->seconds - standardSeconds) / 60);
  zone->DaylightDate = RuleOf(*toDaylight);
  zone->StandardDate = RuleOf(*toStandard);
  return OffsetAt(now).daylight ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

BOOL WINAPI SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* universal,
                                            LPSYSTEMTIME local) {
  const std::optional<std::int64_t> ms = MsOf(*universal);
  if (zone || !ms) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  tzset();
  const std::int64_t seconds = *ms >= 0 ? *ms / 1000 : (*ms - 999) / 1000;
  *local = TimeOfMs(*ms + OffsetAt(seconds).seconds * 1000);
  return TRUE;
}

BOOL WINAPI TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* local,
                                            LPSYSTEMTIME universal) {
  const std::optional<std::int64_t> ms = MsOf(*local);
  if (zone || !ms) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  tzset();
  // The offsets half a day either side are the only ones that can apply;
  // an offset fits when the instant it gives has that offset.
  const std::int64_t wall = *ms >= 0 ? *ms / 1000 : (*ms - 999) / 1000;
  const Offset candidates[] = {OffsetAt(wall - 43200), OffsetAt(wall + 43200)};
  std::optional<Offset> chosen;
  for (const Offset& candidate : candidates) {
    const Offset at = OffsetAt(wall - candidate.seconds);
    if (at.seconds != candidate.seconds) continue;
    if (!chosen || candidate.daylight) chosen = candidate;
  }
  if (!chosen) chosen = candidates[0].daylight ? candidates[1] : candidates[0];
  *universal = TimeOfMs(*ms - chosen->seconds * 1000);
  return TRUE;
}
