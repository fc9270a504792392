// Named placeholders: "%NAME%" markers in a localized text that translators
// may move within the sentence, filled after the lookup.
//
//   lumo::String text = lumo::Replace(
//       lumo::Localize("lumo.CArchive.OpenFailed", "Cannot open '%FILE%'."), "%FILE%", name);
//
// Code below localization/ (foundation/, platform/) fills its placeholders
// with String::replace directly, which is what this does.
#pragma once

#include "foundation/String.h"

namespace lumo {

// `text` with every occurrence of `placeholder` replaced by `value`, found
// left to right and case-sensitively; the inserted values are not searched
// again. A text without the placeholder, and an empty placeholder, leave the
// text as it is.
String Replace(const String& text, const String& placeholder, const String& value);

}  // namespace lumo
