// The library's text lookup: user-visible texts by dotted key, with the
// English text written at the call site as the default.
//
//   lumo::String text = lumo::Localize("lumo.CFileNotFoundError.Desc",
//                                      "The file '%FILE%' was not found.");
//
// Errors of foundation/ ask it for their descriptions, so the interface and
// its process-wide holder are declared here; the localizer itself lives in
// localization/ (same library).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "foundation/IBase.h"
#include "foundation/String.h"

namespace lumo {

// A table of key-to-text pairs. Keys are case-sensitive. Safe to use from
// any thread.
class IStringLocalizer : public virtual IBase {
 public:
  // Removes every key.
  virtual void Clear() = 0;
  // Stores or replaces the text of `key`.
  virtual void Set(const String& key, const String& text) = 0;
  // The same, keeping the strings given rather than copies of them: for
  // strings made for the table that own their text.
  virtual void Adopt(const String& key, const String& text) = 0;
  // The stored text of `key`, or `defaultText` when the key is absent. An
  // empty stored text is an answer; a stored null string is none.
  virtual String Get(const String& key, const String& defaultText) const = 0;
};

// The process's one localizer, created on first use.
const P<IStringLocalizer>& GetStringLocalizer();

// Key-to-text pairs for the localizer, as UTF-16.
using LocalizerTexts = std::vector<std::pair<std::u16string, std::u16string>>;

// Hands `texts` to the localizer without making it: whichever of its
// operations runs first stores them (as Set would, in the order they were
// offered, after the texts of earlier offers) before doing its own work. A
// start-up offers the language pack's library texts this way, and a run
// that never describes a library error makes neither the localizer nor a
// string of them.
void OfferLocalizerTexts(LocalizerTexts texts);

// GetStringLocalizer()->Get(key, defaultText). Callers fill placeholders in
// the result, so translations carry the same ones as the defaults.
String Localize(const String& key, const String& defaultText);

}  // namespace lumo
