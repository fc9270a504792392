// Time: the clock since boot, sleeping, and the system's file time.
#pragma once

#include <cstdint>
#include <ctime>

#include "compat/win32/WinTypes.h"

#define INFINITE 0xFFFFFFFF

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

void WINAPI Sleep(DWORD milliseconds);
// Milliseconds since boot, sleep included, wrapping after 49.7 days.
DWORD WINAPI GetTickCount();
// The multimedia clock: milliseconds on the same clock as GetTickCount,
// wrapping likewise; differences of two readings are what callers use.
DWORD WINAPI timeGetTime();

namespace compat::win32 {
// File times count 100-nanosecond steps since 1601-01-01 UTC.
std::uint64_t FileTimeTicks(const timespec& time);
std::uint64_t FileTimeTicksNow();
FILETIME ToFileTime(std::uint64_t ticks);

// While one lives, the C library's local-time conversions (mktime and the
// like) keep the time zone they read last instead of looking at the system's
// zone file again on every call, which they do when TZ is not set: TZ is set
// to that same file for the while and unset again at the end. Where TZ is
// set already nothing changes. The environment is shared by the process, so
// hold one only where no other thread starts programs or reads TZ meanwhile
// (the data store's reader, at start-up).
class ScopedTimeZoneFile {
 public:
  ScopedTimeZoneFile();
  ~ScopedTimeZoneFile();
  ScopedTimeZoneFile(const ScopedTimeZoneFile&) = delete;
  ScopedTimeZoneFile& operator=(const ScopedTimeZoneFile&) = delete;

 private:
  bool set_ = false;
};
}  // namespace compat::win32
