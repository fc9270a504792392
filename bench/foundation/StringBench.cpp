// The string family's comparisons, search, hash and case mapping against
// ICU's UnicodeString, over 1 MiB of mixed text (mostly ASCII, some Latin-1,
// Greek and CJK, an astral character here and there).
//
// Our strings hold the text as UTF-8 and, as the other side of a
// comparison, as UTF-16; ICU's texts are UTF-16 from the start, so ICU
// never decodes UTF-8 here. ICU's hashCode samples at most about 64 units of
// a long text, so the hash is also timed against a linear pass of the same
// formula over ICU's UTF-16 text. BM_Compare_OverICU reports the comparison's
// time over ICU's ("ratio").

#include <benchmark/benchmark.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <cstdint>
#include <random>
#include <string>

#include "bench/PairedRatio.h"
#include "foundation/CString.h"

namespace {

constexpr std::size_t kTextBytes = 1u << 20;
// Placed near the end of the text; it occurs nowhere else.
constexpr char kNeedle[] = "needle \xce\xb6\xce\xae\xcf\x84\xce\xb7\xcf\x83\xce\xb7";
constexpr char16_t kNeedle16[] = u"needle \u03b6\u03ae\u03c4\u03b7\u03c3\u03b7";

// Words of several scripts, picked at random, the astral one seldom.
const std::string& UTF8Text() {
  static const std::string text = [] {
    const char* words[] = {"the ",  "quick ", "brown ", "fox ",  "jumps ", "over ",  "the ",  "lazy ", "dog. ",
                           "And ",  "then ",  "some ",  "more ", "words ", "in ",    "plain ", "ASCII, ",
                           "Gr\xc3\xb6\xc3\x9f" "e ", "caf\xc3\xa9 ", "\xc3\x86gir ",
                           "\xce\x95\xce\xbb\xce\xbb\xce\xac\xce\xb4\xce\xb1 ",
                           "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e "};
    std::mt19937 random(2024);
    std::string out;
    out.reserve(kTextBytes + 64);
    while (out.size() < kTextBytes - 256) {
      out += random() % 200 == 0 ? "\xf0\x9f\x98\x80 " : words[random() % std::size(words)];
    }
    out += kNeedle;
    while (out.size() < kTextBytes) out += words[random() % 9];
    return out;
  }();
  return text;
}

lumo::String OursUTF8() {
  const std::string& text = UTF8Text();
  return lumo::make<lumo::CUTF8String>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                       static_cast<std::int32_t>(text.size()));
}

lumo::String OursUTF16() {
  const icu::UnicodeString wide = icu::UnicodeString::fromUTF8(UTF8Text());
  return lumo::make<lumo::CWCharString>(wide.getBuffer(), 2 * wide.length());
}

// Each call makes a text with a buffer of its own, so that ICU cannot see
// that two equal texts share one.
icu::UnicodeString Theirs() { return icu::UnicodeString::fromUTF8(UTF8Text()); }

void SetBytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kTextBytes));
}

void BM_Lumo_Compare(benchmark::State& state) {
  const lumo::String a = OursUTF8(), b = OursUTF16();
  for (auto _ : state) benchmark::DoNotOptimize(a->compare(*b));
  SetBytes(state);
}

void BM_ICU_Compare(benchmark::State& state) {
  const icu::UnicodeString a = Theirs(), b = Theirs();
  for (auto _ : state) benchmark::DoNotOptimize(a.compare(b));
  SetBytes(state);
}

// The two above in turns: `ratio` is our time over ICU's.
void BM_Compare_OverICU(benchmark::State& state) {
  const lumo::String a = OursUTF8(), b = OursUTF16();
  const icu::UnicodeString x = Theirs(), y = Theirs();
  bench::RunPaired(
      state, 10, [&] { benchmark::DoNotOptimize(a->compare(*b)); }, [&] { benchmark::DoNotOptimize(x.compare(y)); });
}

void BM_Lumo_CompareNoCase(benchmark::State& state) {
  const lumo::String a = OursUTF8(), b = OursUTF16();
  for (auto _ : state) benchmark::DoNotOptimize(a->compareNoCase(*b));
  SetBytes(state);
}

void BM_ICU_CaseCompare(benchmark::State& state) {
  const icu::UnicodeString a = Theirs(), b = Theirs();
  for (auto _ : state) benchmark::DoNotOptimize(a.caseCompare(b, U_FOLD_CASE_DEFAULT));
  SetBytes(state);
}

void BM_Lumo_Find(benchmark::State& state) {
  const lumo::String text = OursUTF8();
  for (auto _ : state) benchmark::DoNotOptimize(text->find(kNeedle16));
  SetBytes(state);
}

void BM_ICU_IndexOf(benchmark::State& state) {
  const icu::UnicodeString text = Theirs(), needle(kNeedle16);
  for (auto _ : state) benchmark::DoNotOptimize(text.indexOf(needle));
  SetBytes(state);
}

void BM_Lumo_HashCode(benchmark::State& state) {
  const lumo::String text = OursUTF8();
  for (auto _ : state) benchmark::DoNotOptimize(text->hashCode());
  SetBytes(state);
}

void BM_ICU_HashCode(benchmark::State& state) {
  const icu::UnicodeString text = Theirs();
  for (auto _ : state) benchmark::DoNotOptimize(text.hashCode());
  SetBytes(state);
}

// The linear reference: our formula over every code point of ICU's UTF-16.
void BM_Reference_HashCodeUTF16(benchmark::State& state) {
  const icu::UnicodeString text = Theirs();
  const char16_t* units = text.getBuffer();
  const std::int32_t length = text.length();
  for (auto _ : state) {
    std::uint32_t h = 0;
    for (std::int32_t i = 0; i < length;) {
      UChar32 c;
      U16_NEXT(units, i, length, c);
      h = ((h & 0x0FFFFFFF) << 3) ^ (((h >> 2) ^ static_cast<std::uint32_t>(c)) & 0x7FFFFFFF);
    }
    benchmark::DoNotOptimize(h);
  }
  SetBytes(state);
}

void BM_Lumo_ToLowerCase(benchmark::State& state) {
  const lumo::String text = OursUTF8();
  for (auto _ : state) benchmark::DoNotOptimize(text->toLowerCase());
  SetBytes(state);
}

void BM_ICU_ToLower(benchmark::State& state) {
  const icu::UnicodeString text = Theirs();
  for (auto _ : state) {
    icu::UnicodeString lower(text);
    benchmark::DoNotOptimize(lower.toLower(icu::Locale::getRoot()));
  }
  SetBytes(state);
}

}  // namespace

BENCHMARK(BM_Lumo_Compare)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ICU_Compare)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Compare_OverICU)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lumo_CompareNoCase)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ICU_CaseCompare)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lumo_Find)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ICU_IndexOf)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lumo_HashCode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ICU_HashCode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Reference_HashCodeUTF16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lumo_ToLowerCase)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ICU_ToLower)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
