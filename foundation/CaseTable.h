// The simple (one-to-one) case mappings of the Unicode character database,
// for the code points 0 to 0x2FA1D. Code points from kCaseTableSize on map
// to themselves. The table is compiled into the program's read-only data, so
// any thread may ask it, before main as well as after.
//
//   lumo::ToLowerCase(0x130);  // 0x69: capital I with dot above lowers to i
//   lumo::ToTitleCase(0x1C4);  // 0x1C5
#pragma once

#include "foundation/ICharEncoding.h"

namespace lumo {

inline constexpr CodePoint kCaseTableSize = 0x2FA1E;

CodePoint ToLowerCase(CodePoint c);
CodePoint ToUpperCase(CodePoint c);
CodePoint ToTitleCase(CodePoint c);

}  // namespace lumo
