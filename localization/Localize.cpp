// The application's text lookup over the current language pack.
#include "localization/Localize.h"

#include "localization/LangPackMan.h"

CString Localize(const CString& key, const CString& defaultText) {
  if (const CLangPack* pack = LangPackMan().Current()) {
    if (const CString* text = pack->Lookup(key)) return *text;
  }
  return defaultText;
}

CString& ReplacePlaceholder(CString& text, const CString& placeholder, const CString& value) {
  text.Replace(placeholder, value);
  return text;
}
