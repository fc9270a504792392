// A typical library message formatted by lumo::CStringFormat against
// snprintf of the same format string and values, in the same run.
//
// Our side builds a new formatter for every message, as callers do, and
// reads the result as a library string; the file name is pushed once as
// UTF-8 (no conversion) and once as UTF-16 (converted to the result's
// UTF-8). snprintf writes into a stack buffer that is large enough. The
// *_OverSnprintf runs take both in turns and report our time over
// snprintf's ("ratio").

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>

#include "bench/PairedRatio.h"
#include "foundation/CString.h"
#include "localization/StringFormat.h"

namespace {

constexpr char kFormat[] = "Error %d while writing sector %u of '%s' (%5.1f%% done, %#x).";
constexpr char kName[] = "backup of the holiday pictures 2026.iso";
constexpr char16_t kName16[] = u"backup of the holiday pictures 2026.iso";
constexpr std::int32_t kError = -17;
constexpr std::uint32_t kSector = 1234567;
constexpr double kDone = 42.25;
constexpr std::uint32_t kFlags = 0x2f;

void FormatOurs(const lumo::String& format, const lumo::String& name) {
  const lumo::P<lumo::CStringFormat> formatter = lumo::make<lumo::CStringFormat>(format);
  formatter->push(kError).push(kSector).push(name).push(kDone).push(kFlags);
  benchmark::DoNotOptimize(formatter->getResult());
}

void FormatTheirs() {
  char buffer[256];
  benchmark::DoNotOptimize(std::snprintf(buffer, sizeof buffer, kFormat, kError, kSector, kName, kDone, kFlags));
  benchmark::ClobberMemory();
}

void Ours(benchmark::State& state, const lumo::String& name) {
  const lumo::String format(kFormat);
  for (auto _ : state) FormatOurs(format, name);
}

// Ours and snprintf in turns: `ratio` is our time over snprintf's.
void OverSnprintf(benchmark::State& state, const lumo::String& name) {
  const lumo::String format(kFormat);
  bench::RunPaired(state, 1000, [&] { FormatOurs(format, name); }, FormatTheirs);
}

void BM_CStringFormat_UTF8Name(benchmark::State& state) {
  Ours(state, lumo::make<lumo::CUTF8String>(reinterpret_cast<const std::uint8_t*>(kName)));
}
BENCHMARK(BM_CStringFormat_UTF8Name);

void BM_CStringFormat_UTF16Name(benchmark::State& state) { Ours(state, lumo::String(kName16)); }
BENCHMARK(BM_CStringFormat_UTF16Name);

void BM_Snprintf(benchmark::State& state) {
  for (auto _ : state) FormatTheirs();
}
BENCHMARK(BM_Snprintf);

void BM_CStringFormat_UTF8Name_OverSnprintf(benchmark::State& state) {
  OverSnprintf(state, lumo::make<lumo::CUTF8String>(reinterpret_cast<const std::uint8_t*>(kName)));
}
BENCHMARK(BM_CStringFormat_UTF8Name_OverSnprintf);

void BM_CStringFormat_UTF16Name_OverSnprintf(benchmark::State& state) {
  OverSnprintf(state, lumo::String(kName16));
}
BENCHMARK(BM_CStringFormat_UTF16Name_OverSnprintf);

}  // namespace

BENCHMARK_MAIN();
