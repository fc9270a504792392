// Value lists against std::unordered_map<std::u16string, std::variant<...>>:
// getInt and setInt over 20,000 names of about 24 characters.
//
// The names are made once, as a caller holds its names; both sides hash
// every name on every call. setInt replaces the value of a present name:
// the list makes a new boxed integer each time, the map assigns in place.
// The case-blind list folds every name it is given; its reference folds the
// same ASCII names with towlower before each lookup.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cwctype>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "foundation/String.h"
#include "settings/ValueList.h"

namespace {

constexpr int kNames = 20000;

const std::vector<std::u16string>& Names() {
  static const std::vector<std::u16string> names = [] {
    std::vector<std::u16string> out;
    for (int n = 0; n < kNames; ++n) {
      const std::string name = "Burner.Options.Value" + std::to_string(100000 + n);  // 26 characters
      out.emplace_back(name.begin(), name.end());
    }
    return out;
  }();
  return names;
}

const std::vector<lumo::String>& NameStrings() {
  static const std::vector<lumo::String> names = [] {
    std::vector<lumo::String> out;
    for (const std::u16string& name : Names()) out.emplace_back(name.c_str());
    return out;
  }();
  return names;
}

using Value = std::variant<std::int32_t, std::int64_t, float, double, bool, std::u16string>;
using Map = std::unordered_map<std::u16string, Value>;

lumo::P<lumo::CValueList> FilledList(bool caseSensitive) {
  lumo::P<lumo::CValueList> list = lumo::make<lumo::CValueList>(caseSensitive);
  for (int n = 0; n < kNames; ++n) list->setInt(NameStrings()[n], n);
  return list;
}

Map FilledMap() {
  Map map;
  for (int n = 0; n < kNames; ++n) map[Names()[n]] = n;
  return map;
}

std::u16string Fold(const std::u16string& name) {
  std::u16string folded(name);
  for (char16_t& c : folded) c = static_cast<char16_t>(std::towlower(c));
  return folded;
}

void BM_ValueList_GetInt(benchmark::State& state) {
  const lumo::P<lumo::CValueList> list = FilledList(state.range(0) != 0);
  for (auto _ : state) {
    std::int64_t sum = 0;
    for (const lumo::String& name : NameStrings()) sum += list->getInt(name, -1);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}
BENCHMARK(BM_ValueList_GetInt)->ArgName("caseSensitive")->Arg(1)->Arg(0);

void BM_Map_GetInt(benchmark::State& state) {
  const Map map = FilledMap();
  const bool fold = state.range(0) == 0;
  for (auto _ : state) {
    std::int64_t sum = 0;
    for (const std::u16string& name : Names()) {
      const auto found = fold ? map.find(Fold(name)) : map.find(name);
      const std::int32_t* value = found == map.end() ? nullptr : std::get_if<std::int32_t>(&found->second);
      sum += value ? *value : -1;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}
BENCHMARK(BM_Map_GetInt)->ArgName("caseSensitive")->Arg(1)->Arg(0);

void BM_ValueList_SetInt(benchmark::State& state) {
  const lumo::P<lumo::CValueList> list = FilledList(state.range(0) != 0);
  std::int32_t round = 0;
  for (auto _ : state) {
    ++round;
    for (const lumo::String& name : NameStrings()) list->setInt(name, round);
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}
BENCHMARK(BM_ValueList_SetInt)->ArgName("caseSensitive")->Arg(1)->Arg(0);

void BM_Map_SetInt(benchmark::State& state) {
  Map map = FilledMap();
  const bool fold = state.range(0) == 0;
  std::int32_t round = 0;
  for (auto _ : state) {
    ++round;
    for (const std::u16string& name : Names()) map[fold ? Fold(name) : name] = round;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}
BENCHMARK(BM_Map_SetInt)->ArgName("caseSensitive")->Arg(1)->Arg(0);

}  // namespace

BENCHMARK_MAIN();
