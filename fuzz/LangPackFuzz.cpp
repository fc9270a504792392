// Random bytes read as a language pack of either format, table included:
// the readers must refuse or read them without touching memory outside the
// bytes, and what they read must be consistent: every entry in file order is
// found by its key, and the language name follows the tag.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "langpacks/LangPack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::unique_ptr<CLangPack> pack =
      ReadLangPackBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!pack) return 0;
  if (pack->Entries().size() != pack->Strings().size()) std::abort();
  for (const auto* entry : pack->Entries())
    if (pack->Lookup(entry->first) != &entry->second) std::abort();
  const CLangTag& tag = pack->Tag();
  if (pack->LanguageName() != (tag.IsEmpty() ? pack->HeaderString3() : tag.Name())) std::abort();
  if (tag.CountEqualParts(tag) != tag.PartCount()) std::abort();
  return 0;
}
