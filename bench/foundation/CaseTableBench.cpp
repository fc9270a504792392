// The case table: loading it (what the program pays at start-up) beside a
// plain copy of as many bytes as it unpacks, and mapping code points beside
// ICU's u_tolower.

#include <benchmark/benchmark.h>
#include <unicode/uchar.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "compat/win32/CaseTableInternal.h"
#include "foundation/CaseTable.h"

namespace {

using lumo::CodePoint;

// The bytes the table unpacks into: three indexes of a page per 512 code
// points, and the pages of 512 16-bit deltas.
std::size_t UnpackedBytes() {
  const std::size_t pagesPerMapping = (lumo::kCaseTableSize + 511) / 512;
  const auto pages = static_cast<std::size_t>(compat::win32::casetable::CompiledCaseTable().pageCount);
  return 3 * pagesPerMapping + pages * 512 * sizeof(std::int16_t);
}

void BM_Lumo_LoadCaseTable(benchmark::State& state) {
  const compat::win32::casetable::PackedCaseTable table = compat::win32::casetable::CompiledCaseTable();
  for (auto _ : state) {
    if (!compat::win32::casetable::LoadCaseTable(table)) state.SkipWithError("the compiled table was rejected");
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * UnpackedBytes()));
}

void BM_Memcpy_UnpackedSize(benchmark::State& state) {
  const std::vector<std::uint8_t> from(UnpackedBytes(), 1);
  std::vector<std::uint8_t> to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * from.size()));
}

// Mostly letters of the first planes, as text has them, with some from
// anywhere below the table's end.
const std::vector<CodePoint>& CodePoints() {
  static const std::vector<CodePoint> points = [] {
    std::mt19937 random(8);
    std::vector<CodePoint> out(1 << 20);
    for (CodePoint& c : out) c = random() % 4 == 0 ? random() % lumo::kCaseTableSize : random() % 0x800;
    return out;
  }();
  return points;
}

void BM_Lumo_ToLowerCase(benchmark::State& state) {
  for (auto _ : state) {
    CodePoint sum = 0;
    for (const CodePoint c : CodePoints()) sum += lumo::ToLowerCase(c);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * CodePoints().size()));
}

void BM_ICU_u_tolower(benchmark::State& state) {
  for (auto _ : state) {
    CodePoint sum = 0;
    for (const CodePoint c : CodePoints()) sum += static_cast<CodePoint>(u_tolower(static_cast<UChar32>(c)));
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * CodePoints().size()));
}

}  // namespace

BENCHMARK(BM_Lumo_LoadCaseTable)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy_UnpackedSize)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lumo_ToLowerCase)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ICU_u_tolower)->Unit(benchmark::kMillisecond);
