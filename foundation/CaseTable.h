// The simple (one-to-one) case mappings of the Unicode character database,
// for the code points 0 to 0x2FA1D; code points from kCaseTableSize on map
// to themselves. The table is compat's (compat/win32/CaseRules.h), compiled
// into the program's read-only data, so any thread may ask it, before main
// as well as after.
//
//   lumo::ToLowerCase(0x130);  // 0x69: capital I with dot above lowers to i
//   lumo::ToTitleCase(0x1C4);  // 0x1C5
#pragma once

#include "compat/win32/CaseRules.h"
#include "foundation/ICharEncoding.h"

namespace lumo {

inline constexpr CodePoint kCaseTableSize = compat::win32::kCaseTableSize;

inline CodePoint ToLowerCase(CodePoint c) { return compat::win32::LowerCaseOf(c); }
inline CodePoint ToUpperCase(CodePoint c) { return compat::win32::UpperCaseOf(c); }
inline CodePoint ToTitleCase(CodePoint c) { return compat::win32::TitleCaseOf(c); }

}  // namespace lumo
