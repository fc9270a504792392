#include "localization/StringLocalizer.h"

#include <mutex>

#include "foundation/CString.h"
#include "foundation/Singleton.h"

namespace lumo {

namespace {
P<IStringLocalizer> MakeStringLocalizer() { return make<CStringLocalizer>(); }

// Texts offered and not yet stored. The holder lives as long as the
// process, as the localizer does.
struct Offered {
  std::mutex lock;
  LocalizerTexts texts;
};

Offered& OfferedTexts() {
  static Offered* const offered = new Offered;
  return *offered;
}

String LocalizerString(const std::u16string& text) {
  return make<CWCharString>(text.data(), static_cast<std::int32_t>(2 * text.size()));
}
}  // namespace

void OfferLocalizerTexts(LocalizerTexts texts) {
  Offered& offered = OfferedTexts();
  std::lock_guard guard(offered.lock);
  if (offered.texts.empty()) {
    offered.texts = std::move(texts);
  } else {
    offered.texts.insert(offered.texts.end(), std::make_move_iterator(texts.begin()),
                         std::make_move_iterator(texts.end()));
  }
}

void CStringLocalizer::storeOffered() const {
  Offered& offered = OfferedTexts();
  LocalizerTexts pending;
  {
    std::lock_guard guard(offered.lock);
    pending.swap(offered.texts);
  }
  for (const auto& [key, text] : pending) texts->set(LocalizerString(key), LocalizerString(text).get());
}

CStringLocalizer::CStringLocalizer()
    : texts(make<CValueList>(true)), mutex(GetMutexFactory()->CreateMutex()) {}

void CStringLocalizer::Clear() {
  CMutexGuard guard(mutex);
  storeOffered();
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
  storeOffered();
  texts->set(key, text.get());
}

String CStringLocalizer::Get(const String& key, const String& defaultText) const {
  CMutexGuard guard(mutex);
  storeOffered();
  return texts->getString(key, defaultText);
}

const P<IStringLocalizer>& GetStringLocalizer() {
  return StaticSingleton<IStringLocalizer, &MakeStringLocalizer>();
}

String Localize(const String& key, const String& defaultText) {
  return GetStringLocalizer()->Get(key, defaultText);
}

}  // namespace lumo
