// Reading a pack back into a catalog, through the program's own readers, so
// that what the decompiler shows is what the program sees.
#include <system_error>

#include "compat/win32/StringConv.h"
#include "langpacks/LangPack.h"
#include "tools/langpack/PackFile.h"

namespace fs = std::filesystem;

namespace langpack {

namespace {

std::string Utf8(std::u16string_view text) { return compat::win32::Utf16ToUtf8(text); }
std::string Utf8(const CString& text) { return Utf8(std::u16string_view(text.GetString(), text.GetLength())); }

}  // namespace

Catalog ReadPack(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) throw Error(path.string() + " is not a file");
  const std::unique_ptr<CLangPack> pack =
      OpenLangPack(CString(compat::win32::FileNameToUtf16(fs::absolute(path, error).string())));
  if (!pack || !pack->Load()) throw Error(path.string() + " is not a language pack");
  Catalog catalog;
  catalog.language = Utf8(pack->Tag().Name());
  catalog.project = Utf8(pack->HeaderString1());
  catalog.revision = Utf8(pack->HeaderString2());
  catalog.languageName = Utf8(pack->HeaderString3());
  catalog.comment = Utf8(pack->HeaderString4());
  for (const auto* entry : pack->Entries()) catalog.messages.push_back({Utf8(entry->first), Utf8(entry->second)});
  return catalog;
}

}  // namespace langpack
