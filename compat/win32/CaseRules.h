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
// All of them use the Basic Multilingual Plane's simple mappings, the same in
// every locale; surrogates are left as they are.
#pragma once

#include <string>
#include <string_view>

#include "compat/win32/WinTypes.h"

namespace compat::win32 {

// The simple mappings of the Basic Multilingual Plane, as towlower and
// towupper give them; surrogates and code units without a mapping come back
// unchanged.
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
bool EndsWithAsciiNoCase(std::string_view text, std::string_view suffix);

}  // namespace compat::win32
