// The chained hash table's insertions and lookups of 20,000 String keys of
// about 24 characters, against std::unordered_map over std::u16string with
// the same texts.
//
// Every lookup uses a key object of its own (equal text, another buffer), as
// a caller that builds the name it looks for does. The keys are UTF-16 on
// both sides; the UTF-8 rows show the cost of keys of the other common
// encoding, looked up by UTF-16 text.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "foundation/CString.h"
#include "foundation/SimpleHashTable.h"

namespace {

constexpr int kKeys = 20000;

// Distinct texts of 20 to 28 characters: a few dotted words and a number,
// like the names of settings.
const std::vector<std::u16string>& Texts() {
  static const std::vector<std::u16string> texts = [] {
    const char16_t* words[] = {u"general", u"drive", u"burn", u"speed", u"cache", u"label", u"lang", u"view"};
    std::mt19937 random(42);
    std::unordered_set<std::u16string> seen;
    std::vector<std::u16string> out;
    while (out.size() < kKeys) {
      std::u16string text;
      while (text.size() < 16) text += std::u16string(words[random() % std::size(words)]) + u'.';
      for (const char c : std::to_string(random() % 100000000)) text += static_cast<char16_t>(c);
      if (seen.insert(text).second) out.push_back(text);
    }
    return out;
  }();
  return texts;
}

std::vector<lumo::String> UTF16Keys() {
  std::vector<lumo::String> keys;
  for (const std::u16string& text : Texts()) keys.push_back(lumo::make<lumo::CWCharString>(text.c_str()));
  return keys;
}

std::vector<lumo::String> UTF8Keys() {
  std::vector<lumo::String> keys;
  for (const std::u16string& text : Texts()) {
    const std::string bytes(text.begin(), text.end());  // the texts are ASCII
    keys.push_back(lumo::make<lumo::CUTF8String>(reinterpret_cast<const std::uint8_t*>(bytes.c_str())));
  }
  return keys;
}

using Table = lumo::TSimpleHashTable<lumo::String, int>;
using Map = std::unordered_map<std::u16string, int>;

void SetItems(benchmark::State& state) { state.SetItemsProcessed(state.iterations() * kKeys); }

// A new table as the value list makes it, filled with every key.
void BM_Lumo_Insert(benchmark::State& state) {
  const std::vector<lumo::String> keys = UTF16Keys();
  for (auto _ : state) {
    Table table(0, 0.8, 2.0);
    for (int i = 0; i < kKeys; ++i) table.insert(keys[i], i);
    benchmark::DoNotOptimize(table.getCount());
  }
  SetItems(state);
}

void BM_Std_Insert(benchmark::State& state) {
  const std::vector<std::u16string>& keys = Texts();
  for (auto _ : state) {
    Map map;
    for (int i = 0; i < kKeys; ++i) map.emplace(keys[i], i);
    benchmark::DoNotOptimize(map.size());
  }
  SetItems(state);
}

void LumoLookup(benchmark::State& state, const std::vector<lumo::String>& stored) {
  Table table(0, 0.8, 2.0);
  for (int i = 0; i < kKeys; ++i) table.insert(stored[i], i);
  const std::vector<lumo::String> probes = UTF16Keys();
  for (auto _ : state) {
    std::int64_t sum = 0;
    for (const lumo::String& probe : probes) sum += *table.find(probe);
    benchmark::DoNotOptimize(sum);
  }
  SetItems(state);
}

void BM_Lumo_Lookup(benchmark::State& state) { LumoLookup(state, UTF16Keys()); }
void BM_Lumo_LookupUTF8Keys(benchmark::State& state) { LumoLookup(state, UTF8Keys()); }

void BM_Std_Lookup(benchmark::State& state) {
  Map map;
  for (int i = 0; i < kKeys; ++i) map.emplace(Texts()[i], i);
  const std::vector<std::u16string> probes = Texts();
  for (auto _ : state) {
    std::int64_t sum = 0;
    for (const std::u16string& probe : probes) sum += map.find(probe)->second;
    benchmark::DoNotOptimize(sum);
  }
  SetItems(state);
}

}  // namespace

BENCHMARK(BM_Lumo_Insert)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Std_Insert)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lumo_Lookup)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lumo_LookupUTF8Keys)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Std_Lookup)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
