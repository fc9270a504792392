// Time: a millisecond counter that never wraps, the current time, calendar
// fields of a time, and the conversions between UTC and the local zone.
//
// Absolute times count microseconds since 1900-01-01 00:00 UTC.
//
//   const lumo::P<lumo::ITimeManager>& time = lumo::GetTimeManager();
//   lumo::TimeRecord record;
//   time->BreakDownLocal(record, time->GetCurrentTime());
#pragma once

#include <cstdint>

#include "foundation/IBase.h"
#include "foundation/Pointer.h"

namespace lumo {

// Microseconds from the start of file time (1601-01-01) to 1900-01-01, and
// the same span in file-time units of 100 ns.
constexpr std::uint64_t kMicrosecondsBefore1900 = 9435484800000000ull;
constexpr std::uint64_t kFileTimeOf1900 = 94354848000000000ull;

// A file time (100 ns since 1601) as a time (microseconds since 1900), and back.
constexpr std::uint64_t TimeOfFileTime(std::uint64_t fileTime) { return (fileTime - kFileTimeOf1900) / 10; }
constexpr std::uint64_t FileTimeOfTime(std::uint64_t time) { return (time + kMicrosecondsBefore1900) * 10; }

// A time in calendar fields.
struct TimeRecord {
  std::uint32_t year = 0;
  std::uint32_t month = 0;   // 1 to 12
  std::uint32_t day = 0;     // 1 to 31
  std::uint32_t hour = 0;
  std::uint32_t minute = 0;
  std::uint32_t second = 0;
  std::uint32_t millisecond = 0;
  std::uint32_t microsecond = 0;  // below the millisecond, 0 to 999
  std::uint32_t dayOfWeek = 0;    // 0 is Sunday
  std::uint32_t reserved = 0;     // left as it was
  // The zone's standard offset east of UTC in microseconds; 0 for UTC records.
  std::int64_t zoneOffset = 0;
  // The offset added to the time before it was broken down.
  std::int64_t appliedOffset = 0;
};

class ITimeManager : public virtual IBase {
 public:
  // Milliseconds since the system started; keeps counting past the 32-bit wrap.
  virtual std::uint64_t GetTickCount() = 0;
  virtual std::uint64_t GetCurrentTime() = 0;
  // Fill the record with the local time (or UTC) of a time; the result is
  // the time of the whole millisecond the record shows.
  virtual std::uint64_t BreakDownLocalMs(TimeRecord& record, std::uint64_t milliseconds) = 0;
  virtual std::uint64_t BreakDownLocal(TimeRecord& record, std::uint64_t time) = 0;
  virtual std::uint64_t BreakDownUniversalMs(TimeRecord& record, std::uint64_t milliseconds) = 0;
  virtual std::uint64_t BreakDownUniversal(TimeRecord& record, std::uint64_t time) = 0;
  // The zone's standard offset east of UTC, in microseconds.
  virtual std::int64_t GetTimeZoneOffset() = 0;
  // Local time minus UTC at that time, daylight saving included.
  virtual std::int64_t GetLocalOffset(std::uint64_t time) = 0;
  virtual std::uint64_t ToLocalTime(std::uint64_t time) = 0;
  virtual std::uint64_t ToUniversalTime(std::uint64_t time) = 0;
};

// The process-wide time manager, made on first use.
const P<ITimeManager>& GetTimeManager();

}  // namespace lumo
