// The language pack readers on files written byte by byte: both formats, odd entries, refused headers.
#include "langpacks/LangPack.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "compat/win32/StringConv.h"
#include "langpacks/LangPackBytes.h"
#include "tests/support/TestSupport.h"

namespace {

using Strings = std::vector<std::pair<std::u16string, std::u16string>>;

// The table in file order, each text also checked through Lookup.
Strings TableOf(const CLangPack& pack) {
  Strings table;
  for (const auto* entry : pack.Entries()) {
    table.emplace_back(entry->first, entry->second.str());
    EXPECT_EQ(pack.Lookup(entry->first), &entry->second);
  }
  return table;
}

std::vector<CString> HeadersOf(const CLangPack& pack) {
  return {pack.HeaderString1(), pack.HeaderString2(), pack.HeaderString3(), pack.HeaderString4(), pack.LanguageName()};
}

PackBytes Header(bool wide, std::u16string_view third) {
  return PackBytes().Text1(wide, u"Korvane").Text1(wide, u"9.12").Text1(wide, third).Text1(wide, u"By hand");
}

// Version and layout unless "LANGPACK", the header with `rest` skipped bytes behind it, the entries.
std::string Format1(std::string_view magic, std::uint32_t version, std::uint32_t layout, const PackBytes& header,
                    std::uint32_t count, const PackBytes& entries, std::size_t rest = 3) {
  PackBytes file;
  file.Raw(magic);
  if (magic != "LANGPACK") file.U32(version).U32(layout);
  file.U32(header.Size() + static_cast<std::uint32_t>(rest)).Append(header).Raw(std::string(rest, '\x7f'));
  return file.U32(count).Append(entries).Str();
}

PackBytes Entry0(bool wide, std::u16string_view key, std::u16string_view text) {
  return PackBytes().Text1(wide, key).Text1(wide, text).Text1(wide, u"note").Text1(wide, u"");
}

// A layout-1 entry: its size, strings, flags and `padding` bytes inside the size.
PackBytes Entry1(const PackBytes& strings, std::uint32_t flags, std::size_t padding = 0) {
  PackBytes body = strings;
  body.U32(flags).Raw(std::string(padding, '\x55'));
  return PackBytes().U32(body.Size()).Append(body);
}

TEST(LangPackFormat1, ReadsEachMagicAndLayout) {
  // Magic, version, layout, wide text.
  const std::tuple<const char*, std::uint32_t, std::uint32_t, bool> cases[] = {
      {"LANGPACK", 0, 0, false}, {"LANGPCK2", 1, 0, false}, {"LANGPCK2", 0, 1, false},
      {"LANGPU16", 1, 0, true},  {"LANGPU16", 0, 2, true}};
  for (const auto& [magic, version, layout, wide] : cases) {
    SCOPED_TRACE(std::string(magic) + " layout " + std::to_string(layout));
    PackBytes entries;
    // The two long keys differ only where the lookup's hash does not look.
    for (auto [key, text] : {std::pair(u"Kyrell.Title", u"Titel"), std::pair(u"A", u"Erster Text"),
                             std::pair(u"aaaabbbbXcccc", u"X"), std::pair(u"aaaabbbbYcccc", u"Y")}) {
      PackBytes entry = Entry0(wide, key, text);
      entries.Append(layout == 0 ? entry : Entry1(entry, 1));
    }
    auto pack = ReadLangPackBytes(Format1(magic, version, layout, Header(wide, u"Deutsch"), 4, entries));
    ASSERT_TRUE(pack);
    EXPECT_TRUE(pack->Format() == 1 && pack->IsReady() && pack->Tag().IsEmpty());
    EXPECT_EQ(std::tuple(pack->IsWideText(), pack->Version(), pack->Layout()), std::tuple(wide, version, layout));
    EXPECT_EQ(HeadersOf(*pack), (std::vector<CString>{u"Korvane", u"9.12", u"Deutsch", u"By hand", u"Deutsch"}));
    EXPECT_EQ(TableOf(*pack), (Strings{{u"Kyrell.Title", u"Titel"},
                                       {u"A", u"Erster Text"},
                                       {u"aaaabbbbXcccc", u"X"},
                                       {u"aaaabbbbYcccc", u"Y"}}));
    for (const char16_t* missing : {u"a", u"aaaabbbbZcccc", u"Kyrell.Titl"}) EXPECT_EQ(pack->Lookup(missing), nullptr);
  }
}

// Unterminated strings, entries skipped by flags or size, a key stored twice, a table ending early.
TEST(LangPackFormat1, OddStringsAndEntries) {
  PackBytes entries;
  entries.Append(Entry1(PackBytes().Wide(u"unterminated").Wide(u"lost", false).Wide(u"").Wide(u""), 1))
      .Append(Entry1(PackBytes().Wide(u"odd").Raw(std::string_view("\x03\x00\x00\x00" "ab\0", 7)).Wide(u"").Wide(u""), 1))
      .Append(Entry1(Entry0(true, u"flags0", u"skipped"), 0, 5))
      .Append(Entry1(Entry0(true, u"padded", u"kept"), 3, 9))
      .Append(Entry1(PackBytes().Wide(u"zero").U32(0).Wide(u"").Wide(u""), 1))
      .Append(Entry1(PackBytes().Wide(u"inner").Wide(std::u16string_view(u"half\0rest", 9)).Wide(u"").Wide(u""), 1))
      .Append(Entry1(PackBytes().Wide(u"lead").Wide(std::u16string_view(u"\0rest", 5)).Wide(u"").Wide(u""), 1))
      // Strings that run past the entry's own size, and strings without the flags after them: only
      // these entries are lost (neither the last string's length, 1, nor the next entry's size is
      // a flag of theirs).
      .Append(PackBytes().U32(8).U32(100).U32(0))
      .Append(PackBytes().U32(17).U32(0).U32(0).U32(0).U32(1).Raw(std::string_view("z", 1)))
      .Append(PackBytes().U32(1).Raw(std::string_view("x", 1)))
      .Append(Entry1(Entry0(true, u"padded", u"again"), 1))
      // Runs past the end of the file: the table stops here.
      .Append(PackBytes().U32(1000).Wide(u"cut"));
  auto pack = ReadLangPackBytes(Format1("LANGPU16", 1, 1, Header(true, u"Deutsch"), 99, entries));
  ASSERT_TRUE(pack);
  EXPECT_EQ(TableOf(*pack), (Strings{{u"unterminated", u""}, {u"odd", u""}, {u"padded", u"again"}, {u"zero", u""},
                                     {u"inner", u"half"}, {u"lead", u""}}));
  // ANSI: a text without its terminating zero, and a table ending inside an entry.
  PackBytes ansi;
  ansi.Append(Entry0(false, u"k1", u"v1")).Ansi("k2").Counted("open").Ansi("").Ansi("");
  ansi.Append(Entry0(false, u"k3", u"v3")).Ansi("k4").Ansi("v4");
  pack = ReadLangPackBytes(Format1("LANGPCK2", 0, 0, Header(false, u"Deutsch"), 4, ansi));
  ASSERT_TRUE(pack);
  EXPECT_EQ(TableOf(*pack), (Strings{{u"k1", u"v1"}, {u"k2", u""}, {u"k3", u"v3"}}));
}

TEST(LangTag, CountsTheLeadingPartsBothShareWhateverTheCase) {
  const std::tuple<const char16_t*, const char16_t*, int> cases[] = {
      {u"en", u"en-", 1}, {u"EN-us", u"en-US-x", 2}, {u"zh-Hant-TW-x", u"zh-hant-tw-X", 3}, {u"de", u"", 0}};
  for (const auto& [a, b, shared] : cases) {
    EXPECT_EQ(CLangTag(a).CountEqualParts(CLangTag(b)), shared) << testing::PrintToString(std::u16string(a));
    EXPECT_EQ(CLangTag(b).CountEqualParts(CLangTag(a)), shared) << testing::PrintToString(std::u16string(b));
  }
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
  EXPECT_TRUE(pack->Format() == 2 && pack->IsWideText());
  EXPECT_EQ(HeadersOf(*pack),
            (std::vector<CString>{u"Korvane", u"Orbweave", u"Deutsch (\u00d6sterreich)", u"Comment", u"de-AT"}));
  EXPECT_EQ(TableOf(*pack), (Strings{{u"Kyrell.Title", u"Titel"}, {u"Empty", u""}, {u"Last", u"ok"}}));
  // Only "lang" is needed; a string running past its chunk ends the chunk's reading.
  const PackBytes brokenApid = PackBytes::Chunk("apid", PackBytes().U32(100).ChunkText(u"x"));
  pack = ReadLangPackBytes(PackBytes::ChunkFile("URESFILE", Lang(u"fr", u"Fran\u00e7ais").Append(brokenApid)).Str());
  ASSERT_TRUE(pack);
  EXPECT_EQ(HeadersOf(*pack), (std::vector<CString>{u"", u"", u"Fran\u00e7ais", u"", u"fr"}));
  EXPECT_TRUE(pack->Strings().empty());
}

// A pack file reads as its bytes do, the header at the scan and the table at the load: packs
// within the file's first 4 KiB, which the file stream reads once for the small reads, and packs
// whose fields and chunk headers cross that mark.
TEST(LangPack, FilesReadAsTheirBytes) {
  PackBytes wideEntries, chunkEntries;
  for (char16_t i = 0; i < 200; ++i) {
    const std::u16string key = u"Key" + std::u16string(1, u'A' + i % 26) + std::u16string(i / 26 + 1, u'x');
    wideEntries.Append(Entry0(true, key, u"Text of " + key));
    chunkEntries.U32(i).ChunkText(key).ChunkText(u"Text of " + key).ChunkText(u"").ChunkText(u"");
  }
  // An RSID chunk may come before "lang"; this one puts lang's chunk header across the mark.
  const PackBytes rsidToMark = PackBytes::Chunk("RSID", PackBytes().Raw(std::string(4060, '\x11')));
  const std::pair<const char*, std::string> cases[] = {
      {"small first format", Format1("LANGPCK2", 1, 0, Header(false, u"Deutsch"), 1, Entry0(false, u"k", u"v"))},
      {"first format, header across the mark",
       Format1("LANGPU16", 1, 0, Header(true, std::u16string(2100, u'D')), 200, wideEntries)},
      {"small chunk file", PackBytes::ChunkFile("URESFILE", Lang(u"de", u"Deutsch")).Str()},
      {"chunk file, lang across the mark",
       PackBytes::ChunkFile("URESFILE", PackBytes(rsidToMark).Append(Lang(u"fr", u"Fran\u00e7ais"))
                                            .Append(Table(chunkEntries, 200)))
           .Str()},
  };
  testing_support::TempFolder folder;
  for (const auto& [what, bytes] : cases) {
    const std::string path = folder / "pack.kvnLang";
    testing_support::WriteFile(path, bytes);
    const auto fromBytes = ReadLangPackBytes(bytes);
    auto fromFile = OpenLangPack(CString(compat::win32::Utf8ToUtf16(path)));
    ASSERT_TRUE(fromBytes && fromFile) << what;
    EXPECT_EQ(fromFile->Format(), fromBytes->Format()) << what;
    EXPECT_EQ(HeadersOf(*fromFile), HeadersOf(*fromBytes)) << what;
    ASSERT_TRUE(fromFile->Load()) << what;
    EXPECT_EQ(TableOf(*fromFile), TableOf(*fromBytes)) << what;
  }
}

TEST(LangPack, FilesThatAreRefused) {
  const PackBytes header = Header(false, u"Deutsch"), lang = Lang(u"de", u"Deutsch");
  PackBytes shortHeader;  // states fewer bytes than its strings take
  shortHeader.Raw("LANGPCK2").U32(1).U32(0).U32(header.Size() - 1).Append(header).U32(0);
  PackBytes bigHeader;  // larger than any header a scan reads
  bigHeader.Raw("LANGPCK2").U32(1).U32(0).U32(0x40001).Append(header).Raw(std::string(0x40001 - header.Size(), 0));
  PackBytes cutHeader;  // the file ends inside the skipped rest
  cutHeader.Raw("LANGPCK2").U32(1).U32(0).U32(header.Size() + 10).Append(header);
  const std::pair<const char*, std::string> cases[] = {
      {"version 2", Format1("LANGPCK2", 2, 0, header, 0, {})},
      {"header size smaller than its strings", shortHeader.Str()},
      {"header rest cut", cutHeader.Str()},
      {"header above 256 KiB", bigHeader.U32(0).Str()},
      {"no layout field", std::string("LANGPU16\x01\x00\x00\x00", 12)},
      {"unknown magic", Format1("LANGPACX", 0, 0, header, 0, {})},
      {"shorter than the magic", "LANGPAC"},
      {"wrong tag", PackBytes::ChunkFile("URESFILX", lang).Str()},
      {"another chunk before lang",
       PackBytes::ChunkFile("URESFILE", PackBytes::Chunk("RSID", {}).Append(PackBytes::Chunk("cmnt", {})).Append(lang))
           .Str()},
      {"no lang", PackBytes::ChunkFile("URESFILE", PackBytes::Chunk("RSID", {})).Str()},
      {"a chunk claiming more than the file",
       PackBytes::ChunkFile("URESFILE", PackBytes().Raw("RSID").U32(1000).U32(0).Append(lang)).Str()},
      {"cut file header", PackBytes().Raw("URESFILE").U32(0).Str()},
  };
  for (const auto& [what, bytes] : cases) EXPECT_FALSE(ReadLangPackBytes(bytes)) << what;
  // A file that holds less than its size says (as the kernel's own files do) is refused, not waited on;
  // so is a path that is no file at all.
  for (const char16_t* path : {u"/sys/devices/system/cpu/online", u"/nonexistent/Orbweave_de.kvnLang", u"/tmp"})
    EXPECT_FALSE(OpenLangPack(CString(path)));
  // A header without a table is a pack with no strings.
  auto pack = ReadLangPackBytes(Format1("LANGPACK", 0, 0, header, 0, {}).substr(0, 12 + header.Size() + 3));
  ASSERT_TRUE(pack);
  EXPECT_TRUE(pack->Strings().empty());
}

}  // namespace
