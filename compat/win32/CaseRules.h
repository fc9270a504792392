// The case rules Windows applies, one per purpose, so that every comparison
// without case in compat says which rule it follows.
//
//   if (compat::win32::SameObjectName(u"Software", u"SOFTWARE")) ...  // registry names
//   if (compat::win32::SameAsciiNoCase(u"WinXP", u"winxp")) ...       // version names
//
// Which rule serves which purpose:
//   - registry key and value names, and file names a search matches: the
//     upper-case form, one UTF-16 unit at a time (the system's upcase table);
//   - version and module names: ASCII letters only, as the loader compares;
//   - the framework's CompareNoCase: upper case, then lower case, per unit;
//   - the framework's MakeLower/MakeUpper: the simple mappings per unit.
// All of them rest on one table, the simple (one-to-one) mappings of the
// Unicode character database (CaseTable.cpp, written by
// tools/make_case_table.py), the same in every locale. The per-unit rules use
// its Basic Multilingual Plane and leave surrogates as they are; the library's
// strings map whole code points through it.
#pragma once

#include <string>
#include <string_view>

#include "compat/win32/WinTypes.h"

namespace compat::win32 {

// The simple lower-, upper- and title-case mappings of a code point below
// kCaseTableSize (0x2FA1D is the last with a mapping); any other value maps to
// itself. A mapping never leaves the code point's plane.
//
//   compat::win32::LowerCaseOf(0x130);  // 0x69: capital I with dot above lowers to i
//   compat::win32::TitleCaseOf(0x1C4);  // 0x1C5
inline constexpr char32_t kCaseTableSize = 0x2FA1E;
char32_t LowerCaseOf(char32_t c);
char32_t UpperCaseOf(char32_t c);
char32_t TitleCaseOf(char32_t c);

// The same mappings of one UTF-16 code unit; surrogates and code units
// without a mapping come back unchanged.
WCHAR ToLower(WCHAR c);
WCHAR ToUpper(WCHAR c);

// The key under which two texts' letters compare without case. Going through
// the upper case first makes the letters with two small forms (sigma and
// final sigma, s and long s) and the Kelvin and Ångström signs meet their
// letters.
WCHAR FoldTextCase(WCHAR c);

// Registry key and value names compare by this form: every unit upper-cased.
std::u16string FoldObjectName(std::u16string_view name);
bool SameObjectName(std::u16string_view a, std::u16string_view b);

// A file search compares names as the file system does, by the same
// upper-case form as object names.
inline std::u16string FoldFileName(std::u16string_view name) { return FoldObjectName(name); }

// Only A-Z and a-z meet: version names and module file names.
bool SameAsciiNoCase(std::u16string_view a, std::u16string_view b);
bool SameAsciiNoCase(std::string_view a, std::string_view b);
bool EndsWithAsciiNoCase(std::string_view text, std::string_view suffix);

}  // namespace compat::win32
