// Calendar times and the time zone: the current time as a file time, file
// times broken down into calendar fields and back, and the zone of the
// process (the C library's, so TZ picks it) with its daylight-saving rules.
//
//   FILETIME now; GetSystemTimeAsFileTime(&now);
//   SYSTEMTIME utc, local;
//   FileTimeToSystemTime(&now, &utc);
//   SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
#pragma once

#include "compat/win32/Time.h"
#include "compat/win32/WinTypes.h"

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;  // 0 is Sunday
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
using LPSYSTEMTIME = SYSTEMTIME*;

// Bias is minutes to add to local time to get UTC. A rule date with wYear 0
// is "the wDay-th wDayOfWeek of wMonth" (wDay 5: the last one) at the time
// of day given, counted in the local time that is ending then; wMonth 0
// means the zone keeps no daylight-saving time.
struct TIME_ZONE_INFORMATION {
  LONG Bias;
  WCHAR StandardName[32];
  SYSTEMTIME StandardDate;
  LONG StandardBias;
  WCHAR DaylightName[32];
  SYSTEMTIME DaylightDate;
  LONG DaylightBias;
};
using LPTIME_ZONE_INFORMATION = TIME_ZONE_INFORMATION*;

#define TIME_ZONE_ID_UNKNOWN 0
#define TIME_ZONE_ID_STANDARD 1
#define TIME_ZONE_ID_DAYLIGHT 2
#define TIME_ZONE_ID_INVALID 0xFFFFFFFF

void WINAPI GetSystemTimeAsFileTime(FILETIME* fileTime);
// Fails with ERROR_INVALID_PARAMETER past the year 30827.
BOOL WINAPI FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime);
// wDayOfWeek is ignored; fields out of range fail with ERROR_INVALID_PARAMETER.
BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
// The rules read from the zone's transitions in the current year.
DWORD WINAPI GetTimeZoneInformation(LPTIME_ZONE_INFORMATION zone);
// Only the process's own zone (a null `zone`): other zones fail with
// ERROR_INVALID_PARAMETER. A local time that occurs twice is taken as
// daylight time, one the clocks skip as standard time.
BOOL WINAPI SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* universal,
                                            LPSYSTEMTIME local);
BOOL WINAPI TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* local,
                                            LPSYSTEMTIME universal);
