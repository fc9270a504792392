// Block decoding and counting of UTF-8 and UTF-16 text against ICU's
// converters, over 64 MiB of mixed ASCII and multi-byte text. The run's
// context names the vector path UTF-8 decoding took ("utf8_decode_path");
// BM_UTF8_DecodeChars_OverICU reports decoding's time over ICU's ("ratio").

#include <benchmark/benchmark.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/PairedRatio.h"
#include "compat/win32/Utf8Block.h"
#include "foundation/ICharEncoding.h"

namespace {

constexpr std::size_t kTextBytes = 64u << 20;

// Words of several scripts, picked at random: mostly ASCII with two-, three-
// and four-byte characters between.
const std::vector<std::uint8_t>& UTF8Text() {
  static const std::vector<std::uint8_t> text = [] {
    const char* words[] = {"the ", "quick ", "brown ", "fox ", "jumps ", "over ", "lazy ", "dogs. ",
                           "Gr\xc3\xb6\xc3\x9f" "e ", "caf\xc3\xa9 ",
                           "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 ",
                           "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e ", "\xe2\x82\xac" "5 ",
                           "\xf0\x9f\x98\x80 "};
    std::mt19937 random(2024);
    std::vector<std::uint8_t> out;
    out.reserve(kTextBytes + 32);
    while (out.size() < kTextBytes) {
      const std::string word = words[random() % std::size(words)];
      out.insert(out.end(), word.begin(), word.end());
    }
    return out;
  }();
  return text;
}

const std::vector<std::uint8_t>& UTF16Text() {
  static const std::vector<std::uint8_t> text = [] {
    const std::vector<std::uint8_t>& utf8 = UTF8Text();
    int32_t units = 0;
    UErrorCode status = U_ZERO_ERROR;
    std::vector<UChar> wide(utf8.size());
    u_strFromUTF8(wide.data(), static_cast<int32_t>(wide.size()), &units,
                  reinterpret_cast<const char*>(utf8.data()), static_cast<int32_t>(utf8.size()), &status);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(units) * 2);
    std::memcpy(bytes.data(), wide.data(), bytes.size());
    return bytes;
  }();
  return text;
}

std::int32_t Size(const std::vector<std::uint8_t>& text) { return static_cast<std::int32_t>(text.size()); }

// The whole text in blocks of 16 characters, as the library's readers take
// it, each block read once.
void DecodeAll(const lumo::ICharEncoding& encoding, const std::vector<std::uint8_t>& text) {
  lumo::CodePoint chars[16];
  std::uint32_t sum = 0;
  std::int32_t count = 1;
  for (std::int32_t at = 0; count > 0;) {
    at = encoding.decodeChars(chars, 16, count, text.data(), Size(text), at, nullptr);
    for (std::int32_t i = 0; i < count; ++i) sum += chars[i];
  }
  benchmark::DoNotOptimize(sum);
}

void DecodeChars(benchmark::State& state, const lumo::ICharEncoding& encoding,
                 const std::vector<std::uint8_t>& text) {
  for (auto _ : state) DecodeAll(encoding, text);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * Size(text));
}

void CountChars(benchmark::State& state, const lumo::ICharEncoding& encoding,
                const std::vector<std::uint8_t>& text) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(encoding.countChars(text.data(), Size(text), 0));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * Size(text));
}

void BM_Lumo_UTF8_DecodeChars(benchmark::State& state) { DecodeChars(state, *lumo::GetUTF8CharEncoding(), UTF8Text()); }
void BM_Lumo_UTF8_CountChars(benchmark::State& state) { CountChars(state, *lumo::GetUTF8CharEncoding(), UTF8Text()); }
void BM_Lumo_UTF16_DecodeChars(benchmark::State& state) {
  DecodeChars(state, *lumo::GetUTF16CharEncoding(), UTF16Text());
}
void BM_Lumo_UTF16_CountChars(benchmark::State& state) {
  CountChars(state, *lumo::GetUTF16CharEncoding(), UTF16Text());
}

// ICU converting the whole UTF-8 text to UTF-16, and preflighting it (which
// only counts).
void FromUTF8(const std::vector<std::uint8_t>& text, std::vector<UChar>& out) {
  int32_t units = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &units, reinterpret_cast<const char*>(text.data()),
                Size(text), &status);
  benchmark::DoNotOptimize(units);
  benchmark::DoNotOptimize(out.data());
}

void BM_ICU_u_strFromUTF8(benchmark::State& state) {
  const std::vector<std::uint8_t>& text = UTF8Text();
  std::vector<UChar> out(text.size());
  for (auto _ : state) FromUTF8(text, out);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * Size(text));
}

// The two above in turns: `ratio` is decoding's processor time over ICU's.
void BM_UTF8_DecodeChars_OverICU(benchmark::State& state) {
  const std::vector<std::uint8_t>& text = UTF8Text();
  std::vector<UChar> out(text.size());
  bench::RunPaired(
      state, 1, [&] { DecodeAll(*lumo::GetUTF8CharEncoding(), text); }, [&] { FromUTF8(text, out); });
}

void BM_ICU_u_strFromUTF8_Preflight(benchmark::State& state) {
  const std::vector<std::uint8_t>& text = UTF8Text();
  for (auto _ : state) {
    int32_t units = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(nullptr, 0, &units, reinterpret_cast<const char*>(text.data()), Size(text), &status);
    benchmark::DoNotOptimize(units);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * Size(text));
}

void BM_ICU_u_countChar32(benchmark::State& state) {
  const std::vector<std::uint8_t>& text = UTF16Text();
  const auto* units = reinterpret_cast<const UChar*>(text.data());
  for (auto _ : state) {
    benchmark::DoNotOptimize(u_countChar32(units, Size(text) / 2));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * Size(text));
}

// ICU's UTF-16 to UTF-32 conversion, the counterpart of decoding UTF-16.
void BM_ICU_u_strToUTF32(benchmark::State& state) {
  const std::vector<std::uint8_t>& text = UTF16Text();
  const auto* units = reinterpret_cast<const UChar*>(text.data());
  std::vector<UChar32> out(text.size() / 2);
  for (auto _ : state) {
    int32_t chars = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF32(out.data(), static_cast<int32_t>(out.size()), &chars, units, Size(text) / 2, &status);
    benchmark::DoNotOptimize(chars);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * Size(text));
}

}  // namespace

BENCHMARK(BM_Lumo_UTF8_DecodeChars)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ICU_u_strFromUTF8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UTF8_DecodeChars_OverICU)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lumo_UTF8_CountChars)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ICU_u_strFromUTF8_Preflight)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lumo_UTF16_DecodeChars)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ICU_u_strToUTF32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lumo_UTF16_CountChars)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ICU_u_countChar32)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::AddCustomContext("utf8_decode_path", compat::win32::Utf8DecodePath());
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
