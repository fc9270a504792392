// The clocks and sleeping.
#include "compat/win32/Time.h"

#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace compat::win32 {

namespace {
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kSecondsBeforeUnixEpoch = 11644473600;
constexpr std::uint64_t kTicksPerSecond = 10000000;
}  // namespace

std::uint64_t FileTimeTicks(const timespec& time) {
  // Unsigned, so that a time before 1601 wraps instead of overflowing.
  return (static_cast<std::uint64_t>(time.tv_sec) + kSecondsBeforeUnixEpoch) * kTicksPerSecond +
         static_cast<std::uint64_t>(time.tv_nsec) / 100;
}

std::uint64_t FileTimeTicksNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return FileTimeTicks(now);
}

FILETIME ToFileTime(std::uint64_t ticks) { return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}; }

// Without TZ the C library takes the zone from /etc/localtime and looks at
// that file again for every mktime; ":/etc/localtime" names the same file,
// and an unchanged TZ is not looked at again.
ScopedTimeZoneFile::ScopedTimeZoneFile() {
  if (std::getenv("TZ") != nullptr) return;
  set_ = setenv("TZ", ":/etc/localtime", 1) == 0;
  tzset();
}

ScopedTimeZoneFile::~ScopedTimeZoneFile() {
  if (set_) unsetenv("TZ");
}

}  // namespace compat::win32

void WINAPI Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) pause();
  }
  timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

DWORD WINAPI GetTickCount() {
  timespec now;
  clock_gettime(CLOCK_BOOTTIME, &now);
  return static_cast<DWORD>(static_cast<std::uint64_t>(now.tv_sec) * 1000 +
                            static_cast<std::uint64_t>(now.tv_nsec) / 1000000);
}

DWORD WINAPI timeGetTime() { return GetTickCount(); }
