// Reading a registry file with one large binary value, wrapped the way an
// export writes it (a backslash at the end of each line of 25 bytes), beside
// a plain pass that only joins the lines: both should grow linearly.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "peers/regedit/RegFile.h"

namespace {

// An exported REGEDIT4 file holding `bytes` bytes in one value.
std::u16string WrappedFile(size_t bytes) {
  regfile::Change value{regfile::Change::Kind::kSetValue, HKEY_CURRENT_USER, u"Software\\bench", u"blob",
                        REG_BINARY, std::vector<BYTE>(bytes, 0xa5), 0};
  regfile::Change key = value;
  key.kind = regfile::Change::Kind::kCreateKey;
  return regfile::DecodeFile(regfile::Write({regfile::Format::kRegedit4, {key, value}}));
}

// The reference: lines split at their ends and joined where one ends in a
// backslash, nothing else looked at.
size_t JoinLines(std::u16string_view text) {
  std::u16string joined;
  size_t lines = 0;
  while (!text.empty()) {
    const size_t end = text.find(u'\n');
    std::u16string_view line = text.substr(0, end);
    text.remove_prefix(end == std::u16string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    const bool continued = !line.empty() && line.back() == u'\\';
    joined.append(line.substr(0, line.size() - (continued ? 1 : 0)));
    if (!continued) {
      ++lines;
      joined.clear();
    }
  }
  return lines;
}

void BM_ParseWrappedValue(benchmark::State& state) {
  const std::u16string file = WrappedFile(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(regfile::Parse(file));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size() * sizeof(char16_t)));
  state.SetComplexityN(state.range(0));
}

void BM_JoinLinesReference(benchmark::State& state) {
  const std::u16string file = WrappedFile(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(JoinLines(file));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size() * sizeof(char16_t)));
  state.SetComplexityN(state.range(0));
}

BENCHMARK(BM_ParseWrappedValue)
    ->RangeMultiplier(4)
    ->Range(16 << 10, 1 << 20)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JoinLinesReference)
    ->RangeMultiplier(4)
    ->Range(16 << 10, 1 << 20)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
