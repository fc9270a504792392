// UTF-8 <-> UTF-16 through MultiByteToWideChar / WideCharToMultiByte, beside
// ICU's converters on the same text: 1 MiB of plain ASCII, and 1 MiB of mixed
// text (accented Latin, CJK, emoji) as settings and file names carry it.
//
//   ninja -C build compat_bench && build/bin/compat_bench
#include <benchmark/benchmark.h>
#include <unicode/ustring.h>

#include <string>

#include "compat/win32/StringConv.h"

namespace {

constexpr std::size_t kSize = 1 << 20;

const std::string& Text(bool mixed) {
  static const std::string* const texts[2] = {
      [] {
        auto* text = new std::string;
        while (text->size() < kSize) text->append("The quick brown fox jumps over the lazy dog; C:\\Program Files\\ ");
        return text;
      }(),
      [] {
        auto* text = new std::string;
        while (text->size() < kSize) {
          text->append("Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln, na\xC3\xAFve caf\xC3\xA9 \xE4\xB8\x96\xE7\x95\x8C "
                       "\xF0\x9F\x98\x80 disc \xE2\x82\xAC" "5 ");
        }
        return text;
      }(),
  };
  return *texts[mixed ? 1 : 0];
}

// Runs `convert(input, output)` over the text the argument picks (in UTF-8
// or UTF-16), counting the input bytes.
template <bool FromUtf8, class Convert>
void Measure(benchmark::State& state, Convert convert) {
  const std::string& utf8 = Text(state.range(0) != 0);
  const std::u16string utf16 = compat::win32::Utf8ToUtf16(utf8);
  std::u16string wideOut(utf8.size(), u'\0');
  std::string narrowOut(utf16.size() * 3, '\0');
  for (auto _ : state) {
    if constexpr (FromUtf8) {
      benchmark::DoNotOptimize(convert(utf8, wideOut));
    } else {
      benchmark::DoNotOptimize(convert(utf16, narrowOut));
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (FromUtf8 ? utf8.size() : utf16.size() * 2)));
}

void Utf8ToUtf16Compat(benchmark::State& state) {
  Measure<true>(state, [](const std::string& in, std::u16string& out) {
    return MultiByteToWideChar(CP_UTF8, 0, in.data(), static_cast<int>(in.size()), out.data(),
                               static_cast<int>(out.size()));
  });
}

void Utf8ToUtf16Icu(benchmark::State& state) {
  Measure<true>(state, [](const std::string& in, std::u16string& out) {
    UErrorCode error = U_ZERO_ERROR;
    int32_t n = 0;
    u_strFromUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n, in.data(), static_cast<int32_t>(in.size()),
                         0xFFFD, nullptr, &error);
    return n;
  });
}

void Utf16ToUtf8Compat(benchmark::State& state) {
  Measure<false>(state, [](const std::u16string& in, std::string& out) {
    return WideCharToMultiByte(CP_UTF8, 0, in.data(), static_cast<int>(in.size()), out.data(),
                               static_cast<int>(out.size()), nullptr, nullptr);
  });
}

void Utf16ToUtf8Icu(benchmark::State& state) {
  Measure<false>(state, [](const std::u16string& in, std::string& out) {
    UErrorCode error = U_ZERO_ERROR;
    int32_t n = 0;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n, in.data(), static_cast<int32_t>(in.size()),
                       0xFFFD, nullptr, &error);
    return n;
  });
}

// Argument: 0 for ASCII, 1 for mixed text.
BENCHMARK(Utf8ToUtf16Compat)->Arg(0)->Arg(1);
BENCHMARK(Utf8ToUtf16Icu)->Arg(0)->Arg(1);
BENCHMARK(Utf16ToUtf8Compat)->Arg(0)->Arg(1);
BENCHMARK(Utf16ToUtf8Icu)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
