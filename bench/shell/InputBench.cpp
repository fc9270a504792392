// The shell's two readers of untrusted input, each beside a linear-time
// reference over the same bytes in the same run: the command-line tokenizer
// (against one copy-and-count pass over the line) and the path-name list
// reader (against reading the file's bytes and counting its lines).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "shell/CommandLine.h"
#include "shell/PathnameListFile.h"

namespace {

// `arguments` arguments of `quotes` double quotes each, separated by blanks:
// the line that made the old tokenizer search for a blank from every quote.
std::u16string QuoteHeavyLine(int arguments, int quotes) {
  std::u16string line;
  for (int i = 0; i < arguments; ++i) {
    if (i > 0) line += u' ';
    line.append(static_cast<std::size_t>(quotes), u'"');
    line += u'x';
  }
  return line;
}

void BM_TokenizeQuotes(benchmark::State& state) {
  const CString line(QuoteHeavyLine(15, static_cast<int>(state.range(0))));
  for (auto _ : state) {
    CCommandLine tokens(line);
    benchmark::DoNotOptimize(tokens.Count());
  }
  state.SetBytesProcessed(state.iterations() * line.GetLength() * 2);
}

void BM_TokenizeQuotesReference(benchmark::State& state) {
  const CString line(QuoteHeavyLine(15, static_cast<int>(state.range(0))));
  for (auto _ : state) {
    std::u16string copy = line.str();
    benchmark::DoNotOptimize(std::count(copy.begin(), copy.end(), u' '));
  }
  state.SetBytesProcessed(state.iterations() * line.GetLength() * 2);
}

// A little-endian list file of `entries` paths, written once per size.
std::string ListFile(std::int64_t entries) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("orbweave-list-bench-" + std::to_string(entries) + ".txt"))
                               .string();
  if (!std::filesystem::exists(path)) {
    std::u16string text = u"\uFEFF";
    for (std::int64_t i = 0; i < entries; ++i) {
      text += u"Z:\\music\\album " + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) +
              u"\\track number " + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + u".wav\r\n";
    }
    std::ofstream out(path, std::ios::binary);
    for (const char16_t unit : text) {
      out.put(static_cast<char>(unit & 0xFF));
      out.put(static_cast<char>(unit >> 8));
    }
  }
  return path;
}

void BM_ReadListFile(benchmark::State& state) {
  const std::string path = ListFile(state.range(0));
  const CString name(std::u16string(path.begin(), path.end()));
  for (auto _ : state) {
    CPathnameListFile list;
    if (!list.Read(name)) state.SkipWithError("the list file could not be read");
    benchmark::DoNotOptimize(list.Count());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

void BM_ReadListFileReference(benchmark::State& state) {
  const std::string path = ListFile(state.range(0));
  for (auto _ : state) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    benchmark::DoNotOptimize(std::count(bytes.begin(), bytes.end(), '\n'));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

BENCHMARK(BM_TokenizeQuotes)->Arg(1000)->Arg(131000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TokenizeQuotesReference)->Arg(1000)->Arg(131000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadListFile)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadListFileReference)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
