// The library's localizer: the process-wide table behind lumo::Localize.
//
//   lumo::GetStringLocalizer()->Set("lumo.CError.Title", u"Fehler");
//
// The language pack manager stores the selected pack's library texts into
// it; until then every lookup answers its English default.
#pragma once

#include "foundation/IStringLocalizer.h"
#include "foundation/Object.h"
#include "platform/IMutex.h"
#include "settings/ValueList.h"

namespace lumo {

// A case-sensitive value list of key-to-text pairs behind a lock of its own,
// so that any thread may look texts up while another stores them.
class CStringLocalizer final : public CObject, public IStringLocalizer {
 public:
  CStringLocalizer();

  void Clear() override;
  void Set(const String& key, const String& text) override;
  void Adopt(const String& key, const String& text) override;
  String Get(const String& key, const String& defaultText) const override;

 private:
  ~CStringLocalizer() override = default;

  // Stores the texts offered since the last operation; the caller holds
  // the mutex.
  void storeOffered() const;

  // Keys compare by their characters, whatever their encodings, and with
  // case: "app.Title" and "APP.TITLE" are two keys.
  const P<CValueList> texts;
  const P<IMutex> mutex;
};

}  // namespace lumo
