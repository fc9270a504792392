// The case rules, over the generated run tables of the simple mappings.
#include "compat/win32/CaseRules.h"

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

WCHAR FoldTextCase(WCHAR c) { return ToLower(ToUpper(c)); }

std::u16string FoldObjectName(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& unit : folded) {
    if (unit < u'a' || (unit >= 0xD800 && unit <= 0xDFFF)) continue;
    unit = ToUpper(unit);
  }
  return folded;
}

bool SameObjectName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && ToUpper(a[i]) != ToUpper(b[i])) return false;
  }
  return true;
}

namespace {
template <class Char>
Char AsciiLower(Char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<Char>(c + ('a' - 'A')) : c;
}

template <class Char>
bool SameAscii(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}
}  // namespace

bool SameAsciiNoCase(std::u16string_view a, std::u16string_view b) { return SameAscii(a, b); }

bool EndsWithAsciiNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && SameAscii(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace compat::win32
