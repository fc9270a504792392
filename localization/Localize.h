// The application's text lookup: a text by key, with the English default
// written at the call site. A thin adapter over the library's one lookup,
// lumo::Localize, for the framework's CString.
//
//   CString text = Localize(u"Kyrell", u"Could not load %BURNDLL%");
//   ReplacePlaceholder(text, u"%BURNDLL%", u"orbcore.dll");
//
// No language pack is read yet, so nothing has stored a translation and
// every lookup answers its default.
#pragma once

#include "compat/mfc/CString.h"

CString Localize(const CString& key, const CString& defaultText);

// Replaces every occurrence of a placeholder such as "%APPNAME%".
CString& ReplacePlaceholder(CString& text, const CString& placeholder, const CString& value);
