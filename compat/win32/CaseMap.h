// Case mapping of single UTF-16 code units, the same in every locale.
//
//   if (compat::win32::FoldCase(a) == compat::win32::FoldCase(b)) ...  // same letter, any case
#pragma once

#include "compat/win32/WinTypes.h"

namespace compat::win32 {

// The simple mappings of the Basic Multilingual Plane, as towlower and
// towupper give them; surrogates and code units without a mapping come back
// unchanged.
WCHAR ToLower(WCHAR c);
WCHAR ToUpper(WCHAR c);
// The key under which letters compare without case. Going through the upper
// case first makes the letters with two small forms (sigma and final sigma,
// s and long s) and the Kelvin and Ångström signs meet their letters.
WCHAR FoldCase(WCHAR c);

}  // namespace compat::win32
