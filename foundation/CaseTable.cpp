// Placeholder until the table generated from the Unicode character database
// lands: ASCII letters only, every other code point maps to itself.
#include "foundation/CaseTable.h"

namespace lumo {

CodePoint ToLowerCase(CodePoint c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }
CodePoint ToUpperCase(CodePoint c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }
CodePoint ToTitleCase(CodePoint c) { return ToUpperCase(c); }

}  // namespace lumo
