// Case mapping of UTF-16 code units from the generated run tables.
#include "compat/win32/CaseMap.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace compat::win32 {
namespace {

// Every step-th code unit from first to last maps to itself plus delta
// (modulo 0x10000, so that one table entry can also move a letter down).
struct CaseRun {
  std::uint16_t first;
  std::uint16_t last;
  std::uint16_t step;
  std::uint16_t delta;
};

#include "compat/win32/CaseTable.inc"

template <std::size_t N>
WCHAR MapThrough(const CaseRun (&runs)[N], WCHAR c) {
  const auto after = std::upper_bound(std::begin(runs), std::end(runs), c,
                                      [](WCHAR unit, const CaseRun& run) { return unit < run.first; });
  if (after == std::begin(runs)) return c;
  const CaseRun& run = *std::prev(after);
  if (c > run.last || (c - run.first) % run.step != 0) return c;
  return static_cast<WCHAR>((c + run.delta) & 0xFFFF);
}

}  // namespace

WCHAR ToLower(WCHAR c) {
  if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c + 0x20) : c;
  return MapThrough(kLowerRuns, c);
}

WCHAR ToUpper(WCHAR c) {
  if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<WCHAR>(c - 0x20) : c;
  return MapThrough(kUpperRuns, c);
}

WCHAR FoldCase(WCHAR c) { return ToLower(ToUpper(c)); }

}  // namespace compat::win32
