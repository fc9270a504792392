// Translation catalogs in the gettext .po form that translators edit: the
// reader the compiler starts from and the writer the decompiler ends with.
//
//   langpack::Catalog de = langpack::ReadPo(text, "de.po");   // or langpack::Error "de.po:12: ..."
//   for (const langpack::Message& m : de.messages) ... m.key ... m.text ...
//   std::string po = langpack::WritePo(de);
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace langpack {

// Bad input or a file that cannot be written; the text is what the user is
// told, naming the file (and the line, for .po syntax).
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One text of the program: msgid is the lookup key, msgstr the text.
struct Message {
  std::string key;
  std::string text;
  bool operator==(const Message&) const = default;
};

// What a pack keeps of a catalog, all UTF-8. `language` is the header's
// "Language" tag, `languageName` its "Language-Team" without the address,
// `project` its "Project-Id-Version", `revision` its "PO-Revision-Date",
// `comment` the translator's comment lines above the header.
struct Catalog {
  std::string language;
  std::string languageName;
  std::string project;
  std::string revision;
  std::string comment;
  // Translated entries in file order: no fuzzy, obsolete or empty ones.
  std::vector<Message> messages;
};

// Reads a UTF-8 .po file; `name` prefixes every error ("de.po:12: ...").
// Plural forms and message contexts are refused: a pack maps one key to one
// text.
Catalog ReadPo(std::string_view text, const std::string& name);

// The catalog as a .po file that ReadPo reads back to the same catalog.
std::string WritePo(const Catalog& catalog);

// The %NAME% placeholders of a text, sorted, each once.
std::vector<std::string> Placeholders(std::string_view text);

// Refuses a catalog whose translations use other placeholders than the
// English defaults of the same keys; keys without a default are not checked.
void CheckPlaceholders(const Catalog& translation, const Catalog& defaults, const std::string& name);

}  // namespace langpack
