// The .po reader and writer, and the placeholder check.
#include "tools/langpack/PoFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using langpack::Catalog;
using langpack::Message;
using testing::HasSubstr;
using testing::StrEq;
using testing::ThrowsMessage;

std::vector<std::string> Header(const Catalog& c) {
  return {c.language, c.languageName, c.project, c.revision, c.comment};
}

// What a pack keeps of a translator's file, and what not: fuzzy, obsolete, untranslated entries.
TEST(PoFileTest, ReadsTranslatedEntriesAndTheHeader) {
  const Catalog catalog = langpack::ReadPo(
      "msgid \"plain\"\nmsgstr \"Einfach\"\n\n"
      "# German texts.\n#\n# 2\n"
      "msgid \"\"\nmsgstr \"\"\n"
      "\"Project-Id-Version: Orbweave 9.12\\n\"\n"
      "\"PO-Revision-Date:2026-12-01\\n\"\n"
      "\"Language-Team: Deutsch <de@example.org>\\n\"\n"
      "  \"Language: de-at\\n\"\r\n"
      "\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
      "#: shell/Kyrell.cpp:12\n#, c-format\nmsgid \"flagged\"\nmsgstr \"Markiert\"\n"
      "#, fuzzy\nmsgid \"fuzzy\"\nmsgstr \"Ungefähr\"\n"
      "#~ msgid \"gone\"\n#~ msgstr \"Weg\"\n"
      "msgid \"untranslated\"\nmsgstr \"\"\n\n"
      "msgid \"\"\n\"multi.\"\n\"line\"\nmsgstr \"\"\n\"eins\\n\"\n\"zwei\"\n"
      "msgid \"escapes\"\nmsgstr \"\\t\\\"q\\\"\\\\ \\101\\x4aB\\xA\\x30\\x39\\x6f\\x4F\\a\\r\\?\\'\"\n"
      "msgid \"after fuzzy header flag\"\nmsgstr \"Ä\"",
      "de.po");
  EXPECT_EQ(Header(catalog), std::vector<std::string>({"de-at", "Deutsch", "Orbweave 9.12", "2026-12-01",
                                                       "German texts.\n\n2"}));
  const std::vector<Message> expected = {{"plain", "Einfach"},
                                         {"flagged", "Markiert"},
                                         {"multi.line", "eins\nzwei"},
                                         {"escapes", "\t\"q\"\\ AJB\n09oO\a\r?'"},
                                         {"after fuzzy header flag", "Ä"}};
  EXPECT_EQ(catalog.messages, expected);
}

// Every refusal names the file and, for syntax, the line where it is.
TEST(PoFileTest, RefusalsNameFileLineAndFault) {
  const std::string h = "msgid \"\"\nmsgstr \"Language: de\\n\"\n";
  const std::pair<std::string, const char*> cases[] = {
      {h + "msgid \"a\"\nmsgstr \"open\n", "x.po:4: the string has no closing quote"},
      {h + "msgid \"a\"\nmsgstr \"open\\\n", "x.po:4: the string has no closing quote"},
      {h + "msgid \"a\"\nmsgid_plural \"as\"\n", "x.po:4: plural forms"},
      {h + "msgid \"a\"\nmsgstr[0] \"x\"\n", "x.po:4: plural forms"},
      {"msgctxt \"menu\"\nmsgid \"a\"\nmsgstr \"x\"\n", "x.po:1: message contexts"},
      {h + "msgid \"a\"\nmsgstr \"\\q\"\n", "x.po:4: unknown escape sequence \\q"},
      {h + "msgid \"a\"\nmsgstr \"\\0\"\n", "x.po:4: a zero character"},
      {h + "msgid \"a\"\nmsgstr \"x" + std::string(1, '\0') + "y\"\n", "x.po:4: a zero character"},
      {h + "msgid \"a\"\nmsgstr \"x\" y\n", "x.po:4: text after the closing quote"},
      {h + "\n\"stray\"\n", "x.po:4: a string that belongs to no msgid"},
      {h + "msgid \"a\"\n\nmsgid \"b\"\nmsgstr \"x\"\n", "x.po:3: msgid without a msgstr"},
      {h + "msgid \"a\"\nmsgstr \"x\"\nmsgstr \"y\"\n", "x.po:5: a second msgstr"},
      {h + "\nmsgstr \"y\"\n", "x.po:4: msgstr without a msgid"},
      {h + "msgid \"a\"\nmsgstr \"x\"\n\nmsgid \"a\"\nmsgstr \"y\"\n",
       "x.po:6: msgid \"a\" is there twice (first at line 3)"},
      {h + "msgid \"a\"\nmsgstr \"caf\xE9\"\n", "x.po:4: the text is not UTF-8"},
      {h + "msgid \"a\"\nmsgstr \"\\xE9\"\n", "x.po:3: an escape sequence"},
      {"msgid \"\"\nmsgstr \"Language: de\\nContent-Type: text/plain; charset=ISO-8859-1\\n\"\n",
       "x.po:1: the charset is iso-8859-1"},
      {"msgid \"a\"\nmsgstr \"x\"\n", "x.po: no header entry"},
      {h + "msgid \"\"\nmsgstr \"Language: fr\\n\"\n", "x.po:3: a second header"},
      {h + "msgid\"a\"\n", "x.po:3: unexpected text"},
      {h + "msgid \n", "x.po:3: unexpected text \"msgid\""},
  };
  for (const auto& [text, expected] : cases) {
    const auto read = [&input = text] { langpack::ReadPo(input, "x.po"); };
    EXPECT_THAT(read, ThrowsMessage<langpack::Error>(HasSubstr(expected))) << text;
  }
}

// What the writer makes of any text, the reader reads back unchanged.
TEST(PoFileTest, WrittenCatalogReadsBackTheSame) {
  const Catalog catalog{"fr", "Français", "Orbweave 9.12", "2026-12-06", "Line one.\n\nC\n",
                        {{"plain", "Le texte"}, {"lines", "un\ndeux\n"}, {"trailing", "fin\n"},
                         {"quotes", "\"q\" \\ \t\r\x01 «»"}, {"multi\nkey", "x"}}};
  const std::string po = langpack::WritePo(catalog);
  // Written as a translator would: blanks as they are, an empty comment line a bare "#".
  EXPECT_TRUE(po.starts_with("# Line one.\n#\n# C\n#\nmsgid") && po.find("\nmsgstr \"Le texte\"\n") != po.npos) << po;
  const Catalog back = langpack::ReadPo(po, "back.po");
  EXPECT_EQ(back.messages, catalog.messages) << po;
  EXPECT_EQ(Header(back), Header(catalog));
}

// A translation uses the placeholders (%NAME%) of its key's default, in any order and number.
TEST(PoFileTest, TranslationsKeepTheDefaultsPlaceholders) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"no placeholder, 100% sure", {}},
      {"%B%%A% and %B%", {"%A%", "%B%"}},
      {"%%APP_NAME%% at 50%", {"%APP_NAME%"}},
      {"%a b% %x1%", {"%x1%"}},
      {"%", {}},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(langpack::Placeholders(text), expected) << text;
  Catalog english, german;
  english.messages = {{"a", "Copy %DISC% to %FILE%"}, {"b", "Done"}};
  german.messages = {{"a", "%FILE% von %DISC% %DISC%"}, {"b", "Fertig"}, {"unknown", "%ANY%"}};
  EXPECT_NO_THROW(langpack::CheckPlaceholders(german, english, "de.po"));
  german.messages = {{"a", "%FILE% kopieren"}, {"b", "Fertig %X%"}};
  EXPECT_THAT([&] { langpack::CheckPlaceholders(german, english, "de.po"); },
              ThrowsMessage<langpack::Error>(StrEq(
                  "de.po: placeholders differ from the default:\n"
                  "  a: the translation has %FILE%, the default %DISC% %FILE%\n"
                  "  b: the translation has %X%, the default none")));
}

}  // namespace
