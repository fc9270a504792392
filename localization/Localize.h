// The application's text lookup: a text by key from the current language
// pack, the English default when the pack has none.
//
//   CString text = Localize(u"Kyrell", u"Could not load %BURNDLL%");
//   ReplacePlaceholder(text, u"%BURNDLL%", u"orbcore.dll");
#pragma once

#include "compat/mfc/CString.h"

CString Localize(const CString& key, const CString& defaultText);

// Replaces every occurrence of a placeholder such as "%APPNAME%".
CString& ReplacePlaceholder(CString& text, const CString& placeholder, const CString& value);
