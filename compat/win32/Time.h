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
}  // namespace compat::win32
