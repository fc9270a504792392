// The language pack readers on files written byte by byte: both formats,
// their odd strings and entries, the headers they refuse, and the tag.
#include "localization/LangPack.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "compat/win32/StringConv.h"
#include "tests/localization/LangPackBytes.h"
#include "tests/support/IsolatedTest.h"

namespace {

using Strings = std::vector<std::pair<std::u16string, std::u16string>>;

// The table in file order.
Strings TableOf(const CLangPack& pack) {
  Strings table;
  for (const auto* entry : pack.Entries()) table.emplace_back(entry->first, entry->second.str());
  return table;
}

PackBytes Header(bool wide, std::u16string_view third) {
  PackBytes header;
  for (std::u16string_view text : {std::u16string_view(u"Korvane"), std::u16string_view(u"9.12"), third,
                                   std::u16string_view(u"Translated by hand")}) {
    if (wide) header.Wide(text);
    else header.Ansi(compat::win32::Utf16ToUtf8(text));
  }
  return header;
}

// magic, then version and layout unless "LANGPACK", the header with `rest`
// skipped bytes behind it, the entry count and the entries.
std::string Format1(std::string_view magic, std::uint32_t version, std::uint32_t layout, const PackBytes& header,
                    std::uint32_t count, const PackBytes& entries, std::size_t rest = 3) {
  PackBytes file;
  file.Raw(magic);
  if (magic != "LANGPACK") file.U32(version).U32(layout);
  file.U32(header.Size() + static_cast<std::uint32_t>(rest)).Append(header).Raw(std::string(rest, '\x7f'));
  return file.U32(count).Append(entries).Str();
}

// A layout-0 entry, ANSI or wide.
PackBytes Entry0(bool wide, std::u16string_view key, std::u16string_view text) {
  PackBytes entry;
  if (wide) return entry.Wide(key).Wide(text).Wide(u"note").Wide(u"");
  return entry.Ansi(compat::win32::Utf16ToUtf8(key)).Ansi(compat::win32::Utf16ToUtf8(text)).Ansi("note").Ansi("");
}

// A layout-1 entry: its size, its strings and flags, and `padding` bytes
// inside the size that the reader must step over.
PackBytes Entry1(const PackBytes& strings, std::uint32_t flags, std::size_t padding = 0) {
  PackBytes body = strings;
  body.U32(flags).Raw(std::string(padding, '\x55'));
  return PackBytes().U32(body.Size()).Append(body);
}

TEST(LangPackFormat1, ReadsEachMagicAndLayout) {
  struct Case {
    const char* magic;
    std::uint32_t version, layout;
    bool wide;
  };
  for (const Case& c : {Case{"LANGPACK", 0, 0, false}, Case{"LANGPCK2", 1, 0, false}, Case{"LANGPCK2", 0, 1, false},
                        Case{"LANGPU16", 1, 0, true}, Case{"LANGPU16", 0, 2, true}}) {
    SCOPED_TRACE(std::string(c.magic) + " layout " + std::to_string(c.layout));
    PackBytes entries;
    for (auto [key, text] : {std::pair(u"Kyrell.Title", u"Titel"), std::pair(u"A", u"Erster Text")}) {
      PackBytes entry = Entry0(c.wide, key, text);
      entries.Append(c.layout == 0 ? entry : Entry1(entry, 1));
    }
    auto pack = ReadLangPackBytes(Format1(c.magic, c.version, c.layout, Header(c.wide, u"Deutsch"), 2, entries));
    ASSERT_TRUE(pack);
    EXPECT_EQ(pack->Format(), 1);
    EXPECT_TRUE(pack->IsReady());
    EXPECT_EQ(pack->IsWideText(), c.wide);
    EXPECT_EQ(pack->Version(), c.version);
    EXPECT_EQ(pack->Layout(), c.layout);
    EXPECT_EQ(pack->HeaderString1(), u"Korvane");
    EXPECT_EQ(pack->HeaderString2(), u"9.12");
    EXPECT_EQ(pack->HeaderString3(), u"Deutsch");
    EXPECT_EQ(pack->HeaderString4(), u"Translated by hand");
    EXPECT_TRUE(pack->Tag().IsEmpty());
    EXPECT_EQ(pack->LanguageName(), u"Deutsch");
    EXPECT_EQ(TableOf(*pack), (Strings{{u"Kyrell.Title", u"Titel"}, {u"A", u"Erster Text"}}));
    ASSERT_NE(pack->Lookup(u"A"), nullptr);
    EXPECT_EQ(*pack->Lookup(u"A"), u"Erster Text");
    EXPECT_EQ(pack->Lookup(u"a"), nullptr);
  }
}

// Strings without their terminator, entries skipped by their flags or their
// size, a key stored twice, and a table that ends early.
TEST(LangPackFormat1, OddStringsAndEntries) {
  PackBytes entries;
  entries.Append(Entry1(PackBytes().Wide(u"unterminated").Wide(u"lost", false).Wide(u"").Wide(u""), 1))
      .Append(Entry1(PackBytes().Wide(u"odd").Raw(std::string_view("\x03\x00\x00\x00" "ab\0", 7)).Wide(u"").Wide(u""), 1))
      .Append(Entry1(Entry0(true, u"flags0", u"skipped"), 0, 5))
      .Append(Entry1(Entry0(true, u"padded", u"kept"), 3, 9))
      .Append(Entry1(PackBytes().Wide(u"zero").U32(0).Wide(u"").Wide(u""), 1))
      .Append(Entry1(PackBytes().Wide(u"inner").Wide(std::u16string_view(u"halves\0rest", 11)).Wide(u"").Wide(u""), 1))
      // Strings that run past the entry's own size: only this entry is lost.
      .Append(PackBytes().U32(8).U32(100).U32(0))
      .Append(Entry1(Entry0(true, u"padded", u"again"), 1))
      // Runs past the end of the file: the table stops here.
      .Append(PackBytes().U32(1000).Wide(u"cut"));
  auto pack = ReadLangPackBytes(Format1("LANGPU16", 1, 1, Header(true, u"Deutsch"), 99, entries));
  ASSERT_TRUE(pack);
  EXPECT_EQ(TableOf(*pack), (Strings{{u"unterminated", u""},
                                     {u"odd", u""},
                                     {u"padded", u"again"},
                                     {u"zero", u""},
                                     {u"inner", u"halves"}}));

  // ANSI: a text without its terminating zero, and a table ending inside an entry.
  PackBytes ansi;
  ansi.Append(Entry0(false, u"k1", u"v1")).Ansi("k2").Counted("open").Ansi("").Ansi("");
  ansi.Append(Entry0(false, u"k3", u"v3")).Ansi("k4").Ansi("v4");
  pack = ReadLangPackBytes(Format1("LANGPCK2", 0, 0, Header(false, u"Deutsch"), 4, ansi));
  ASSERT_TRUE(pack);
  EXPECT_EQ(TableOf(*pack), (Strings{{u"k1", u"v1"}, {u"k2", u""}, {u"k3", u"v3"}}));
}

TEST(LangPackFormat1, HeadersThatAreRefused) {
  const PackBytes header = Header(false, u"Deutsch");
  PackBytes shortHeader;  // states fewer bytes than its strings take
  shortHeader.Raw("LANGPCK2").U32(1).U32(0).U32(header.Size() - 1).Append(header).U32(0);
  PackBytes cutHeader;  // the file ends inside the skipped rest
  cutHeader.Raw("LANGPCK2").U32(1).U32(0).U32(header.Size() + 10).Append(header);
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"version 2", Format1("LANGPCK2", 2, 0, header, 0, {})},
      {"version 2, wide", Format1("LANGPU16", 2, 0, Header(true, u"x"), 0, {})},
      {"header size smaller than its strings", shortHeader.Str()},
      {"header rest cut", cutHeader.Str()},
      {"no layout field", std::string("LANGPU16\x01\x00\x00\x00", 12)},
      {"unknown magic", Format1("LANGPACX", 0, 0, header, 0, {})},
      {"shorter than the magic", "LANGPAC"},
      {"empty", ""},
  };
  for (const auto& c : cases) EXPECT_FALSE(ReadLangPackBytes(c.bytes)) << c.what;

  // A header without a table is a pack with no strings.
  auto pack = ReadLangPackBytes(Format1("LANGPACK", 0, 0, header, 0, {}).substr(0, 12 + header.Size() + 3));
  ASSERT_TRUE(pack);
  EXPECT_TRUE(pack->Strings().empty());
}

PackBytes Table(const PackBytes& entries, std::uint32_t count) {
  return PackBytes::Chunk("STMP", PackBytes::Chunk("hint", PackBytes().U32(5)).Append(
                                      PackBytes::Chunk("data", PackBytes().U32(count).Append(entries))));
}

PackBytes Lang(std::u16string_view tag, std::u16string_view name) {
  return PackBytes::Chunk("lang", PackBytes().ChunkText(tag).ChunkText(name).ChunkText(u"extra"));
}

TEST(LangPackFormat2, ReadsChunksInAnyOrder) {
  PackBytes entries;
  entries.U32(1).ChunkText(u"Kyrell.Title").ChunkText(u"Titel").ChunkText(u"").ChunkText(u"");
  entries.U32(2).ChunkText(u"NoText").U32(0).ChunkText(u"").ChunkText(u"");
  entries.U32(3).ChunkText(u"Empty").ChunkText(u"").U32(0).U32(0);
  // The last unit is the terminator whatever it holds.
  entries.U32(4).ChunkText(u"Last").U32(3).Unit(u'o').Unit(u'k').Unit(u'!').U32(0).U32(0);
  entries.U32(5).ChunkText(u"Cut").U32(50).Unit(u'x');
  PackBytes body;
  body.Append(PackBytes::Chunk("RSID", PackBytes().U32(9)))
      .Append(Lang(u"de-AT", u"Deutsch (\u00d6sterreich)"))
      .Append(Table(entries, 6))
      .Append(PackBytes::Chunk("cmnt", PackBytes().ChunkText(u"Comment")))
      .Append(PackBytes::Chunk("apid", PackBytes().ChunkText(u"Korvane").ChunkText(u"Orbweave")));
  auto pack = ReadLangPackBytes(PackBytes::ChunkFile("URESFILE", body).Str());
  ASSERT_TRUE(pack);
  EXPECT_EQ(pack->Format(), 2);
  EXPECT_TRUE(pack->IsWideText());
  EXPECT_EQ(pack->Tag().Name(), u"de-AT");
  EXPECT_EQ(pack->LanguageName(), u"de-AT");
  EXPECT_EQ(pack->HeaderString1(), u"Korvane");
  EXPECT_EQ(pack->HeaderString2(), u"Orbweave");
  EXPECT_EQ(pack->HeaderString3(), u"Deutsch (\u00d6sterreich)");
  EXPECT_EQ(pack->HeaderString4(), u"Comment");
  EXPECT_EQ(TableOf(*pack), (Strings{{u"Kyrell.Title", u"Titel"}, {u"Empty", u""}, {u"Last", u"ok"}}));

  // Only "lang" is needed; what is missing stays empty.
  pack = ReadLangPackBytes(PackBytes::ChunkFile("URESFILE", Lang(u"fr", u"Fran\u00e7ais")).Str());
  ASSERT_TRUE(pack);
  EXPECT_EQ(pack->LanguageName(), u"fr");
  EXPECT_TRUE(pack->HeaderString1().IsEmpty() && pack->HeaderString4().IsEmpty() && pack->Strings().empty());
}

TEST(LangPackFormat2, FilesThatAreRefused) {
  const PackBytes lang = Lang(u"de", u"Deutsch");
  const struct {
    const char* what;
    PackBytes file;
  } cases[] = {
      {"wrong tag", PackBytes::ChunkFile("URESFILX", lang)},
      {"another chunk before lang",
       PackBytes::ChunkFile("URESFILE", PackBytes::Chunk("RSID", {}).Append(PackBytes::Chunk("cmnt", {})).Append(lang))},
      {"no lang", PackBytes::ChunkFile("URESFILE", PackBytes::Chunk("RSID", {}))},
      {"a chunk claiming more than the file",
       PackBytes::ChunkFile("URESFILE", PackBytes().Raw("RSID").U32(1000).U32(0).Append(lang))},
      {"cut file header", PackBytes().Raw("URESFILE").U32(0)},
  };
  for (const auto& c : cases) EXPECT_FALSE(ReadLangPackBytes(c.file.Str())) << c.what;
}

// Scanning reads the header; Load reads the table, and reads nothing but
// an empty table once the file is gone.
TEST(LangPackFile, HeaderFirstThenTable) {
  testing_support::TempFolder folder;
  // A header larger than what a scan reads first.
  const std::string format1 = Format1("LANGPACK", 0, 0, Header(false, u"Deutsch"), 1, Entry0(false, u"k", u"v"), 70000);
  const std::string format2 =
      PackBytes::ChunkFile("URESFILE", Lang(u"de", u"Deutsch").Append(Table(PackBytes().U32(0).ChunkText(u"k").ChunkText(u"v").U32(0).U32(0), 1))).Str();
  for (const std::string* bytes : {&format1, &format2}) {
    const std::string path = folder / "pack.kvnLang";
    testing_support::WriteFile(path, *bytes);
    std::unique_ptr<CLangPack> pack = OpenLangPack(CString(compat::win32::Utf8ToUtf16(path)));
    ASSERT_TRUE(pack);
    EXPECT_EQ(pack->FilePath().str(), compat::win32::Utf8ToUtf16(path));
    EXPECT_EQ(pack->HeaderString3(), u"Deutsch");
    EXPECT_FALSE(pack->IsReady());
    EXPECT_TRUE(pack->Strings().empty());
    ASSERT_TRUE(pack->Load());
    EXPECT_EQ(TableOf(*pack), (Strings{{u"k", u"v"}}));
    std::remove(path.c_str());
    EXPECT_FALSE(pack->Load());
    EXPECT_FALSE(pack->IsReady());
    EXPECT_TRUE(pack->Strings().empty() && pack->Entries().empty());
  }
  EXPECT_FALSE(OpenLangPack(CString(compat::win32::Utf8ToUtf16(folder.path()))));
}

TEST(LangTag, PartsAndLeadingPartsCompared) {
  const CLangTag long_(u"zh-Hant-TW-x");
  ASSERT_EQ(long_.PartCount(), 3);
  EXPECT_EQ(long_.Part(0), u"zh");
  EXPECT_EQ(long_.Part(2), u"TW-x");
  EXPECT_EQ(long_.Name(), u"zh-Hant-TW-x");
  EXPECT_TRUE(CLangTag().IsEmpty());
  EXPECT_EQ(CLangTag(u"").PartCount(), 0);
  const struct {
    const char16_t *a, *b;
    int equal;
  } cases[] = {
      {u"en-US", u"en-us", 2}, {u"en", u"en-gb", 1}, {u"en-us", u"en-gb", 1}, {u"de-de", u"en-de", 0},
      {u"", u"", 0},           {u"en", u"", 0},      {u"a-b-c", u"A-B-C", 3}, {u"a-x-c", u"a-b-c", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CLangTag(c.a).CountEqualParts(CLangTag(c.b)), c.equal) << (&c - cases);
    EXPECT_EQ(CLangTag(c.b).CountEqualParts(CLangTag(c.a)), c.equal) << (&c - cases);
  }
}

}  // namespace
