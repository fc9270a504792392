#include "localization/StringLocalizer.h"

#include "foundation/Singleton.h"

namespace lumo {

namespace {
P<IStringLocalizer> MakeStringLocalizer() { return make<CStringLocalizer>(); }
}  // namespace

CStringLocalizer::CStringLocalizer()
    : texts(make<CValueList>(true)), mutex(GetMutexFactory()->CreateMutex()) {}

void CStringLocalizer::Clear() {
  CMutexGuard guard(mutex);
  texts->clear();
}

void CStringLocalizer::Set(const String& key, const String& text) {
  // Key and text are copied: a string that borrows its caller's buffer must
  // not outlive that buffer in the table.
  Adopt(key->copy(), text.isNull() ? text : String(text->copy()));
}

void CStringLocalizer::Adopt(const String& key, const String& text) {
  // The list keeps the key as it was first stored.
  CMutexGuard guard(mutex);
  texts->set(key, text.get());
}

String CStringLocalizer::Get(const String& key, const String& defaultText) const {
  CMutexGuard guard(mutex);
  return texts->getString(key, defaultText);
}

const P<IStringLocalizer>& GetStringLocalizer() {
  return StaticSingleton<IStringLocalizer, &MakeStringLocalizer>();
}

String Localize(const String& key, const String& defaultText) {
  return GetStringLocalizer()->Get(key, defaultText);
}

}  // namespace lumo
