// The time manager over the system's clocks and zone functions.
#pragma once

#include <cstdint>

#include "compat/win32/SystemTime.h"
#include "foundation/Object.h"
#include "platform/ITimeManager.h"

namespace lumo::win32 {

class CTimeManager final : public CObject, public ITimeManager {
 public:
  using TickCounter = DWORD(WINAPI*)();
  using ZoneConversion = BOOL(WINAPI*)(const TIME_ZONE_INFORMATION*, const SYSTEMTIME*, LPSYSTEMTIME);

  // `ticks` is the system's 32-bit millisecond counter. Without the zone
  // conversions of the system, the manager applies the zone's standard and
  // daylight rules itself.
  explicit CTimeManager(TickCounter ticks = ::GetTickCount, bool systemZoneConversions = true);

  std::uint64_t GetTickCount() override;
  std::uint64_t GetCurrentTime() override;
  std::uint64_t BreakDownLocalMs(TimeRecord& record, std::uint64_t milliseconds) override;
  std::uint64_t BreakDownLocal(TimeRecord& record, std::uint64_t time) override;
  std::uint64_t BreakDownUniversalMs(TimeRecord& record, std::uint64_t milliseconds) override;
  std::uint64_t BreakDownUniversal(TimeRecord& record, std::uint64_t time) override;
  std::int64_t GetTimeZoneOffset() override;
  std::int64_t GetLocalOffset(std::uint64_t time) override;
  std::uint64_t ToLocalTime(std::uint64_t time) override;
  std::uint64_t ToUniversalTime(std::uint64_t time) override;

 private:
  std::uint64_t breakDown(TimeRecord& record, std::uint64_t time, bool local);
  // Converts through a system function on the whole millisecond; false
  // when the function is missing or fails.
  static bool convert(ZoneConversion conversion, std::uint64_t time, std::uint64_t& result);

  // Always a multiple of 2^32: the wraps of the system counter seen so far.
  std::uint64_t wraps = 0;
  DWORD lastTick = 0;
  TickCounter ticks;
  ZoneConversion toLocal = nullptr;
  ZoneConversion toUniversal = nullptr;
};

}  // namespace lumo::win32
