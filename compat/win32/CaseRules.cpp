// The case rules, over the case table of the simple mappings.
#include "compat/win32/CaseRules.h"

namespace compat::win32 {
// Surrogates have no mapping, so a unit maps as the code point it would be.
WCHAR ToLower(WCHAR c) {
  if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c + 0x20) : c;
  return static_cast<WCHAR>(LowerCaseOf(c));
}

WCHAR ToUpper(WCHAR c) {
  if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<WCHAR>(c - 0x20) : c;
  return static_cast<WCHAR>(UpperCaseOf(c));
}

WCHAR FoldTextCase(WCHAR c) { return ToLower(ToUpper(c)); }

std::u16string FoldObjectName(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& unit : folded) {
    if (unit < u'a') continue;
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
bool SameAsciiNoCase(std::string_view a, std::string_view b) { return SameAscii(a, b); }

bool EndsWithAsciiNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && SameAscii(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace compat::win32
