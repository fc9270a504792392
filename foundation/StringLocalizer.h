// Looking up the library's user-visible texts by key, with the English text
// as the default. Keys are dotted: "lumo.CFileNotFoundError.Desc".
#pragma once

#include "foundation/String.h"

namespace lumo {

// The translation of `key`, or `defaultText` when there is none. Callers
// fill placeholders in the result, so translations carry the same ones.
String Localize(const String& key, const String& defaultText);

}  // namespace lumo
