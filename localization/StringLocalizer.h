// The library's localizer: the process-wide table behind lumo::Localize.
//
//   lumo::GetStringLocalizer()->Set("lumo.CError.Title", u"Fehler");
//
// Nothing stores translations into it yet: until the language packs are
// read, every lookup answers its English default.
#pragma once

#include <mutex>
#include <string>
#include <unordered_map>

#include "foundation/IStringLocalizer.h"
#include "foundation/Object.h"

namespace lumo {

class CStringLocalizer final : public CObject, public IStringLocalizer {
 public:
  void Clear() override;
  void Set(const String& key, const String& text) override;
  String Get(const String& key, const String& defaultText) const override;

 private:
  ~CStringLocalizer() override = default;

  // Keys by their code points, so that equal text in different encodings is
  // one key and keys that differ only in case are two.
  std::unordered_map<std::u32string, String> texts;
  mutable std::mutex lock;
};

}  // namespace lumo
