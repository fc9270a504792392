// The time manager: the tick counter across the wrap, file times, calendar
// records, and local time checked against the C library in zones north and
// south of the equator, through the system's conversions and through the
// manager's own daylight rules.
#include "platform/win32/TimeManager.h"

#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace lumo::test {
namespace {

using win32::CTimeManager;

constexpr std::int64_t kUnixEpochIn1900 = 2208988800;  // seconds from 1900 to 1970

std::uint64_t TimeOfUnix(std::int64_t seconds) {
  return static_cast<std::uint64_t>((seconds + kUnixEpochIn1900) * 1000000);
}

DWORD gTicks[4];
int gTick = 0;
DWORD WINAPI InjectedTicks() { return gTicks[gTick++]; }

TEST(TimeManager, TickCountKeepsRisingAcrossTheWrap) {
  const DWORD values[] = {0xFFFFFF00u, 0xFFFFFFF0u, 0x10u, 0x20u};
  std::copy(std::begin(values), std::end(values), gTicks);
  gTick = 0;
  const P<CTimeManager> time = make<CTimeManager>(&InjectedTicks);
  std::vector<std::uint64_t> seen;
  for (int i = 0; i < 4; ++i) seen.push_back(time->GetTickCount());
  EXPECT_EQ(seen, (std::vector<std::uint64_t>{0xFFFFFF00ull, 0xFFFFFFF0ull, 0x100000010ull, 0x100000020ull}));
}

TEST(TimeManager, FileTimesCurrentTimeAndUniversalRecords) {
  EXPECT_EQ(FileTimeOfTime(0), 94354848000000000ull);
  EXPECT_EQ(TimeOfFileTime(94354848000000000ull), 0u);
  const P<ITimeManager> time = GetTimeManager();
  const std::int64_t now = ::time(nullptr);
  EXPECT_NEAR(static_cast<double>(time->GetCurrentTime() / 1000000), static_cast<double>(now + kUnixEpochIn1900), 2);

  // 2000-02-29 12:34:56.789012 UTC, a Tuesday.
  TimeRecord record;
  record.reserved = 77;
  const std::uint64_t leapDay = TimeOfUnix(951827696) + 789012;
  EXPECT_EQ(time->BreakDownUniversal(record, leapDay), leapDay - 12);
  const std::vector<std::uint32_t> fields{record.year,   record.month,       record.day,         record.hour,
                                          record.minute, record.second,      record.millisecond, record.microsecond,
                                          record.dayOfWeek, record.reserved};
  EXPECT_EQ(fields, (std::vector<std::uint32_t>{2000, 2, 29, 12, 34, 56, 789, 12, 2, 77}));
  EXPECT_EQ(record.zoneOffset, 0);
  EXPECT_EQ(time->BreakDownUniversalMs(record, 1000), 1000000u);
  EXPECT_EQ(std::tie(record.year, record.month, record.day, record.second), std::make_tuple(1900u, 1u, 1u, 1u));
}

// A zone, its standard offset in hours, and whether the system's conversions are used. Each case sets its
// zone and puts the previous one back afterwards.
class ZoneTest : public testing::TestWithParam<std::tuple<std::pair<const char*, std::int64_t>, bool>> {
 protected:
  void SetUp() override { Use(std::get<0>(GetParam()).first); }
  void TearDown() override { Use(oldZone ? oldZone->c_str() : nullptr); }
  static void Use(const char* zone) {
    zone ? setenv("TZ", zone, 1) : unsetenv("TZ");
    tzset();
  }
  const char* const old = std::getenv("TZ");
  const std::optional<std::string> oldZone = old ? std::optional<std::string>(old) : std::nullopt;
};

struct CLocal {
  long offset;
  bool daylight;
};
CLocal CLibrary(std::int64_t seconds) {
  const auto t = static_cast<time_t>(seconds);
  tm local{};
  localtime_r(&t, &local);
  return {local.tm_gmtoff, local.tm_isdst > 0};
}

// Instants from 2012 to 2032 at varying times of day, and each change of
// the zone's offset with the seconds and half hours around it.
std::vector<std::int64_t> Instants() {
  std::vector<std::int64_t> out;
  const std::int64_t from = 1325376000, to = 1956528000;
  for (std::int64_t t = from; t < to; t += 5 * 86400 + 4637) out.push_back(t);
  for (std::int64_t day = from; day < to; day += 86400) {
    if (CLibrary(day).offset == CLibrary(day + 86400).offset) continue;
    std::int64_t low = day, high = day + 86400;
    while (high - low > 1) {
      const std::int64_t middle = (low + high) / 2;
      (CLibrary(middle).offset == CLibrary(day).offset ? low : high) = middle;
    }
    for (std::int64_t delta : {-1800, -1, 0, 1, 1800}) out.push_back(high + delta);
  }
  return out;
}

TEST_P(ZoneTest, LocalTimeAgreesWithTheCLibrary) {
  const auto [zone, standardHours] = std::get<0>(GetParam());
  const bool systemConversions = std::get<1>(GetParam());
  const P<CTimeManager> time = make<CTimeManager>(::GetTickCount, systemConversions);
  EXPECT_EQ(time->GetTimeZoneOffset(), standardHours * 3600000000);
  int checked = 0;
  for (std::int64_t t : Instants()) {
    const CLocal expected = CLibrary(t);
    const std::uint64_t utc = TimeOfUnix(t) + 250;
    const std::uint64_t local = time->ToLocalTime(utc);
    ASSERT_EQ(static_cast<std::int64_t>(local - utc), expected.offset * 1000000) << zone << " at " << t;
    // Just after clocks go back, the local time also names an earlier instant.
    const bool ambiguous = !expected.daylight && CLibrary(t - 7200).daylight;
    if (!ambiguous) {
      ASSERT_EQ(time->ToUniversalTime(local), utc) << zone << " at " << t;
    }
    ++checked;
  }
  EXPECT_GT(checked, 1400);

  // A record in January: summer south of the equator, winter north of it.
  TimeRecord record;
  const std::int64_t january = 1768478400;  // 2026-01-15 12:00 UTC
  time->BreakDownLocal(record, TimeOfUnix(january));
  EXPECT_EQ(record.appliedOffset, CLibrary(january).offset * 1000000);
  EXPECT_EQ(record.zoneOffset, standardHours * 3600000000);
  EXPECT_EQ(record.hour, static_cast<std::uint32_t>(12 + CLibrary(january).offset / 3600));
  TimeRecord fromMs;
  EXPECT_EQ(time->BreakDownLocalMs(fromMs, TimeOfUnix(january) / 1000), TimeOfUnix(january) + record.appliedOffset);
  EXPECT_EQ(std::tie(fromMs.day, fromMs.hour, fromMs.appliedOffset),
            std::tie(record.day, record.hour, record.appliedOffset));
}

// Names like "Australia_Sydney_Rules" rather than the parameters' addresses.
std::string ZoneName(const testing::TestParamInfo<ZoneTest::ParamType>& info) {
  std::string name = std::get<0>(info.param).first;
  std::replace(name.begin(), name.end(), '/', '_');
  return name + (std::get<1>(info.param) ? "_System" : "_Rules");
}

INSTANTIATE_TEST_SUITE_P(Zones, ZoneTest,
                         testing::Combine(testing::Values(std::pair<const char*, std::int64_t>{"America/New_York", -5},
                                                          std::pair<const char*, std::int64_t>{"Europe/Berlin", 1},
                                                          std::pair<const char*, std::int64_t>{"Australia/Sydney", 10}),
                                          testing::Bool()),
                         ZoneName);

}  // namespace
}  // namespace lumo::test
