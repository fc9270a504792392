// The application's text lookup: a text by key from the current language
// pack, with the English default written at the call site.
//
//   CString text = Localize(u"Kyrell", u"Could not load %BURNDLL%");
//   ReplacePlaceholder(text, u"%BURNDLL%", u"orbcore.dll");
#pragma once

#include "compat/mfc/CString.h"

// The current pack's text for `key` (exact, case-sensitive), or
// `defaultText` itself when there is no current pack or the pack has no
// such key. A pack's text stays valid while the pack manager keeps its
// packs, that is for the life of the process; the default is the caller's.
// A current index outside the pack list raises CInvalidArgException.
LPCWSTR Localize(LPCWSTR key, LPCWSTR defaultText);

// Replaces every occurrence of a placeholder such as "%APPNAME%".
CString& ReplacePlaceholder(CString& text, const CString& placeholder, const CString& value);
