// Calendar fields and file times: edges of the calendar, the fields that
// are refused, and the zone calls' refusal of zones other than the process's.
#include "compat/win32/SystemTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "compat/win32/Error.h"
#include "compat/win32/Time.h"
#include "tests/compat/win32/Win32Expect.h"

namespace {

std::uint64_t Ticks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

TEST(SystemTime, FieldsToFileTimeAndBack) {
  struct Row {
    SYSTEMTIME time;
    bool valid;
    std::uint64_t ticks;
  };
  // year, month, weekday (ignored), day, hour, minute, second, ms
  const Row rows[] = {
      {{1601, 1, 0, 1, 0, 0, 0, 0}, true, 0},
      {{1600, 12, 0, 31, 23, 59, 59, 999}, false, 0},
      {{1900, 1, 0, 1, 0, 0, 0, 0}, true, 94354848000000000ull},
      {{2000, 2, 0, 29, 12, 0, 0, 1}, true, 125962992000010000ull},
      {{1900, 2, 0, 29, 0, 0, 0, 0}, false, 0},
      {{2023, 12, 0, 31, 23, 59, 59, 999}, true, 133485407999990000ull},
      {{2023, 13, 0, 1, 0, 0, 0, 0}, false, 0},
      {{2023, 0, 0, 1, 0, 0, 0, 0}, false, 0},
      {{2023, 4, 0, 31, 0, 0, 0, 0}, false, 0},
      {{2023, 4, 0, 30, 24, 0, 0, 0}, false, 0},
      {{2023, 4, 0, 30, 0, 60, 0, 0}, false, 0},
      {{2023, 4, 0, 30, 0, 0, 60, 0}, false, 0},
      {{2023, 4, 0, 30, 0, 0, 0, 1000}, false, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.time.wYear << "-" << row.time.wMonth << "-" << row.time.wDay);
    FILETIME file{};
    if (!row.valid) {
      EXPECT_WIN32(SystemTimeToFileTime(&row.time, &file), FALSE, ERROR_INVALID_PARAMETER);
      continue;
    }
    ASSERT_TRUE(SystemTimeToFileTime(&row.time, &file));
    EXPECT_EQ(Ticks(file), row.ticks);
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&file, &back));
    EXPECT_EQ(std::make_tuple(back.wYear, back.wMonth, back.wDay, back.wHour, back.wMinute, back.wSecond,
                              back.wMilliseconds),
              std::make_tuple(row.time.wYear, row.time.wMonth, row.time.wDay, row.time.wHour, row.time.wMinute,
                              row.time.wSecond, row.time.wMilliseconds));
  }
  // 1601-01-01 was a Monday, 2000-02-29 a Tuesday.
  SYSTEMTIME day{};
  FILETIME file{};
  ASSERT_TRUE(FileTimeToSystemTime(&file, &day));
  EXPECT_EQ(day.wDayOfWeek, 1);
  file = compat::win32::ToFileTime(125962992000010000ull);
  ASSERT_TRUE(FileTimeToSystemTime(&file, &day));
  EXPECT_EQ(day.wDayOfWeek, 2);
}

TEST(SystemTime, ZoneCallsTakeOnlyTheProcessZone) {
  TIME_ZONE_INFORMATION zone{};
  const SYSTEMTIME time{2020, 6, 0, 1, 12, 0, 0, 0};
  SYSTEMTIME out{};
  EXPECT_WIN32(SystemTimeToTzSpecificLocalTime(&zone, &time, &out), FALSE, ERROR_INVALID_PARAMETER);
  EXPECT_WIN32(TzSpecificLocalTimeToSystemTime(&zone, &time, &out), FALSE, ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &time, &out));
}

// Holding the zone file changes no local time and leaves TZ as it found it,
// unset or set.
TEST(SystemTime, HeldTimeZoneFileGivesTheSameTimesAndLeavesTzAsItWas) {
  const char* outer = std::getenv("TZ");
  const std::string saved = outer ? outer : "";
  const auto local = [] {
    std::tm fields{};
    fields.tm_year = 124, fields.tm_mon = 6, fields.tm_mday = 1, fields.tm_hour = 12, fields.tm_isdst = -1;
    return std::mktime(&fields);
  };
  unsetenv("TZ");
  const std::time_t free = local();
  {
    const compat::win32::ScopedTimeZoneFile held;
    EXPECT_EQ(local(), free);
  }
  EXPECT_EQ(std::getenv("TZ"), nullptr);
  setenv("TZ", "XST-5", 1);
  {
    const compat::win32::ScopedTimeZoneFile held;
    EXPECT_STREQ(std::getenv("TZ"), "XST-5");
  }
  EXPECT_STREQ(std::getenv("TZ"), "XST-5");
  outer ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
}

}  // namespace
