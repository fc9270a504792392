// The application's text lookup over the current language pack. It runs on
// the main thread for every text the shell shows: it takes no lock and
// builds nothing, the key is searched as a view of the caller's text.
#include "langpacks/Localize.h"

#include <string_view>

#include "compat/mfc/Exception.h"
#include "langpacks/LangPackMan.h"

namespace {

// The key's length, four units a step: keys are short, and measuring them
// one unit a loop was most of a hot lookup's time.
std::size_t KeyLength(const char16_t* key) {
  for (std::size_t n = 0;; n += 4) {
    if (key[n] == 0) return n;
    if (key[n + 1] == 0) return n + 1;
    if (key[n + 2] == 0) return n + 2;
    if (key[n + 3] == 0) return n + 3;
  }
}

}  // namespace

LPCWSTR Localize(LPCWSTR key, LPCWSTR defaultText) {
  const CLangPackMan& packs = LangPackMan();
  const int index = packs.CurrentIndex();
  if (index < 0 || packs.Count() == 0) return defaultText;
  if (index >= packs.Count()) AfxThrowInvalidArgException();
  const CLangPack* pack = packs.Get(index);
  if (pack == nullptr || key == nullptr) return defaultText;
  const CString* text = pack->Lookup(std::u16string_view(key, KeyLength(key)));
  return text != nullptr ? text->GetString() : defaultText;
}

CString& ReplacePlaceholder(CString& text, const CString& placeholder, const CString& value) {
  text.Replace(placeholder, value);
  return text;
}
