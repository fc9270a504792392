#include "localization/Localize.h"

#include "foundation/CString.h"
#include "foundation/IStringLocalizer.h"

namespace {

// The framework's text as a library string that borrows its buffer: the
// lookup copies whatever it keeps, and the result is copied back below
// before `text` can go away.
lumo::String Borrow(const CString& text) {
  return lumo::make<lumo::CWCharString>(text.GetString(), 2 * text.GetLength(), -1, lumo::StringMode::kBorrow);
}

CString ToCString(const lumo::String& text) {
  const lumo::String utf16 = text->hasEncoding(lumo::kUTF16EncodingId)
                                 ? text
                                 : lumo::CString::convert(*text, lumo::GetUTF16CharEncoding());
  return CString(reinterpret_cast<const char16_t*>(utf16->data()), utf16->byteLength() / 2);
}

}  // namespace

CString Localize(const CString& key, const CString& defaultText) {
  return ToCString(lumo::Localize(Borrow(key), Borrow(defaultText)));
}

CString& ReplacePlaceholder(CString& text, const CString& placeholder, const CString& value) {
  text.Replace(placeholder, value);
  return text;
}
