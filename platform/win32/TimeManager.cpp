#include "platform/win32/TimeManager.h"

#include "foundation/Random.h"
#include "foundation/Singleton.h"

namespace lumo {

namespace win32 {

namespace {

constexpr std::int64_t kMicrosecondsPerMinute = 60000000;
constexpr std::uint64_t kMicrosecondsPerWeek = 604800000000ull;

SYSTEMTIME CalendarOf(std::uint64_t time) {
  const std::uint64_t fileTime = FileTimeOfTime(time / 1000 * 1000);
  const FILETIME split = compat::win32::ToFileTime(fileTime);
  SYSTEMTIME calendar{};
  FileTimeToSystemTime(&split, &calendar);
  return calendar;
}

std::uint64_t TimeOfCalendar(const SYSTEMTIME& calendar) {
  FILETIME fileTime{};
  SystemTimeToFileTime(&calendar, &fileTime);
  return TimeOfFileTime((static_cast<std::uint64_t>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime);
}

// When a rule's change happens in a year, as a wall-clock time: a fixed
// date, or the n-th given weekday of the month (n = 5: the last one).
std::uint64_t RuleTime(const SYSTEMTIME& rule, WORD year) {
  SYSTEMTIME day{};
  day.wYear = rule.wYear != 0 ? rule.wYear : year;
  day.wMonth = rule.wMonth;
  day.wDay = rule.wYear != 0 ? rule.wDay : 1;
  std::uint64_t time = TimeOfCalendar(day);
  if (rule.wYear == 0) {
    const WORD firstWeekday = CalendarOf(time).wDayOfWeek;
    time += static_cast<std::uint64_t>((rule.wDayOfWeek + 7 - firstWeekday) % 7) * 86400000000ull;
    for (WORD week = 1; week < rule.wDay && CalendarOf(time + kMicrosecondsPerWeek).wMonth == rule.wMonth; ++week) {
      time += kMicrosecondsPerWeek;
    }
  }
  return time + ((rule.wHour * 60ull + rule.wMinute) * 60ull + rule.wSecond) * 1000000ull +
         rule.wMilliseconds * 1000ull;
}

struct Zone {
  TIME_ZONE_INFORMATION info{};
  bool hasDaylight = false;

  Zone() {
    GetTimeZoneInformation(&info);
    hasDaylight = info.StandardDate.wMonth != 0 && info.DaylightDate.wMonth != 0;
  }
  std::int64_t bias() const { return info.Bias * kMicrosecondsPerMinute; }
  std::int64_t standardBias() const { return info.StandardBias * kMicrosecondsPerMinute; }
  std::int64_t daylightBias() const { return info.DaylightBias * kMicrosecondsPerMinute; }

  // Whether daylight time applies at a UTC time. South of the equator the
  // daylight period spans the turn of the year.
  bool daylightAt(std::uint64_t time) const {
    if (!hasDaylight) return false;
    const WORD year = CalendarOf(time - bias()).wYear;
    const std::uint64_t start = RuleTime(info.DaylightDate, year) + bias() + standardBias();
    const std::uint64_t end = RuleTime(info.StandardDate, year) + bias() + daylightBias();
    return start < end ? time >= start && time < end : time >= start || time < end;
  }
  std::uint64_t toLocal(std::uint64_t time) const {
    return time - bias() - (daylightAt(time) ? daylightBias() : standardBias());
  }
  // A local time that occurs twice is read as daylight time.
  std::uint64_t toUniversal(std::uint64_t time) const {
    const std::uint64_t asDaylight = time + bias() + daylightBias();
    return daylightAt(asDaylight) ? asDaylight : time + bias() + standardBias();
  }
};

}  // namespace

CTimeManager::CTimeManager(TickCounter ticks, bool systemZoneConversions) : ticks(ticks) {
  if (systemZoneConversions) {
    toLocal = ::SystemTimeToTzSpecificLocalTime;
    toUniversal = ::TzSpecificLocalTimeToSystemTime;
  }
}

std::uint64_t CTimeManager::GetTickCount() {
  const DWORD now = ticks();
  if (now < lastTick) wraps += 0x100000000ull;
  lastTick = now;
  return wraps + now;
}

std::uint64_t CTimeManager::GetCurrentTime() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return TimeOfFileTime((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

std::uint64_t CTimeManager::BreakDownLocalMs(TimeRecord& record, std::uint64_t milliseconds) {
  return BreakDownLocal(record, milliseconds * 1000);
}
std::uint64_t CTimeManager::BreakDownLocal(TimeRecord& record, std::uint64_t time) {
  return breakDown(record, time, true);
}
std::uint64_t CTimeManager::BreakDownUniversalMs(TimeRecord& record, std::uint64_t milliseconds) {
  return BreakDownUniversal(record, milliseconds * 1000);
}
std::uint64_t CTimeManager::BreakDownUniversal(TimeRecord& record, std::uint64_t time) {
  return breakDown(record, time, false);
}

std::uint64_t CTimeManager::breakDown(TimeRecord& record, std::uint64_t time, bool local) {
  const std::int64_t offset = local ? GetLocalOffset(time) : 0;
  const std::uint64_t shown = time + static_cast<std::uint64_t>(offset);
  const SYSTEMTIME calendar = CalendarOf(shown);
  record.year = calendar.wYear;
  record.month = calendar.wMonth;
  record.day = calendar.wDay;
  record.hour = calendar.wHour;
  record.minute = calendar.wMinute;
  record.second = calendar.wSecond;
  record.millisecond = calendar.wMilliseconds;
  record.microsecond = static_cast<std::uint32_t>(shown % 1000);
  record.dayOfWeek = calendar.wDayOfWeek;
  record.zoneOffset = local ? GetTimeZoneOffset() : 0;
  record.appliedOffset = offset;
  return shown - shown % 1000;
}

std::int64_t CTimeManager::GetTimeZoneOffset() { return -Zone().bias(); }

std::int64_t CTimeManager::GetLocalOffset(std::uint64_t time) {
  return static_cast<std::int64_t>(ToLocalTime(time) - time);
}

bool CTimeManager::convert(ZoneConversion conversion, std::uint64_t time, std::uint64_t& result) {
  if (!conversion) return false;
  const SYSTEMTIME from = CalendarOf(time);
  SYSTEMTIME to{};
  if (!conversion(nullptr, &from, &to)) return false;
  result = TimeOfCalendar(to) + time % 1000;
  return true;
}

std::uint64_t CTimeManager::ToLocalTime(std::uint64_t time) {
  std::uint64_t local;
  return convert(toLocal, time, local) ? local : Zone().toLocal(time);
}

std::uint64_t CTimeManager::ToUniversalTime(std::uint64_t time) {
  std::uint64_t universal;
  return convert(toUniversal, time, universal) ? universal : Zone().toUniversal(time);
}

namespace {
P<ITimeManager> MakeTimeManager() { return make<CTimeManager>(); }
}  // namespace

}  // namespace win32

const P<ITimeManager>& GetTimeManager() { return StaticSingleton<ITimeManager, &win32::MakeTimeManager>(); }

CMersenneTwisterRandomNumberGenerator::CMersenneTwisterRandomNumberGenerator() {
  seed(static_cast<std::uint32_t>(GetTimeManager()->GetTickCount()));
}

}  // namespace lumo
