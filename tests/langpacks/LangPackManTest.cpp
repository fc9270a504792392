// The pack manager: finding a pack for a language, scanning a folder, selecting, the system's language.
#include "langpacks/LangPackMan.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <utility>

#include "compat/win32/StringConv.h"
#include "foundation/CString.h"
#include "foundation/IStringLocalizer.h"
#include "langpacks/LangPackBytes.h"
#include "tests/support/IsolatedTest.h"

namespace {

// A pack of the chunk-file format with a tag, else of the first format with a header larger than a
// scan reads first. Its key "Which" names the pack.
std::string PackFile(std::u16string_view tag, std::u16string_view name, std::u16string_view which) {
  if (tag.empty()) {
    const PackBytes header = PackBytes().Wide(u"").Wide(u"").Wide(name).Wide(u"").Raw(std::string(70000, 0));
    return PackBytes().Raw("LANGPU16").U32(0).U32(0).U32(header.Size()).Append(header).U32(1)
        .Wide(u"Which").Wide(which).Wide(u"").Wide(u"").Str();
  }
  PackBytes entries;
  entries.U32(0).ChunkText(u"Which").ChunkText(which).U32(0).U32(0);
  entries.U32(0).ChunkText(u"lumo.CError.Title").ChunkText(which).U32(0).U32(0);
  const PackBytes lang = PackBytes::Chunk("lang", PackBytes().ChunkText(tag).ChunkText(name).ChunkText(u""));
  const PackBytes table = PackBytes::Chunk("STMP", PackBytes::Chunk("data", PackBytes().U32(2).Append(entries)));
  return PackBytes::ChunkFile("URESFILE", PackBytes(lang).Append(table)).Str();
}

// What this process has read through any file so far, as the kernel counts it.
std::uint64_t BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string name;
  std::uint64_t value = 0;
  while (io >> name >> value)
    if (name == "rchar:") return value;
  return 0;
}

class LangPackManTest : public testing_support::IsolatedTest {
 protected:
  // Packs by tag and name, each in a file of its own.
  void Add(std::initializer_list<std::pair<const char16_t*, const char16_t*>> packs) {
    for (const auto& [tag, name] : packs) {
      const std::string path = folder() / ("pack" + std::to_string(files_++) + ".kvnLang");
      testing_support::WriteFile(path, PackFile(tag, name, tag[0] ? tag : name));
      ASSERT_TRUE(manager_.AddPack(Path(path)));
    }
  }
  static CString Path(const std::string& path) { return CString(compat::win32::Utf8ToUtf16(path)); }
  std::u16string Which() const {
    const CLangPack* pack = manager_.Current();
    const CString* which = pack ? pack->Lookup(u"Which") : nullptr;
    return which ? which->GetString() : u"(none)";
  }
  CLangPackMan manager_;
  int files_ = 0;
};

TEST_F(LangPackManTest, FindByTagInThreePassesElseByName) {
  EXPECT_EQ(manager_.Find(u"en"), -1);
  Add({{u"", u"English (UK)"},
       {u"EN", u"English"},
       {u"en-us", u"English (US)"},
       {u"de-de", u"Deutsch"},
       {u"fr", u"Fran\u00e7ais"},
       {u"fr", u"Fran\u00e7ais (Qu\u00e9bec)"},
       {u"ZH-Hant-TW-x", u"Chinese"}});
  const std::pair<const char16_t*, int> cases[] = {
      {u"en-us", 2},    // pass 1, before the more general "en" listed first
      {u"en-gb", 1},    // pass 2: en-us shares too little
      {u"en", 1},       // pass 1, case-blind
      {u"de", 3},       // pass 3
      {u"de-at", -1},   // de-de is neither the request nor more general
      {u"fr", 4},       // two packs for one language: the first wins
      {u"english", 0},  // the third header string, lower-cased, contains the name
      {u"ENGL", 0},     // four characters without a "-": a name
      {u"eng", -1},     // three characters: a tag, and the first-format pack has none
      {u"zz-en", -1},   {u"", -1},
      {u"qu\u00e9bec", 5},
      {u"zh-hant", 6},     // pass 3; a fourth part stays with the third
      {u"zh-hant-tw", -1},
  };
  for (const auto& [name, index] : cases)
    EXPECT_EQ(manager_.Find(name), index) << testing::PrintToString(std::u16string(name));
}

TEST_F(LangPackManTest, FindBestFallsBackToSystemThenEnglish) {
  for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) UnsetEnv(variable);
  for (auto [lang, tag] : {std::pair("pt", u"pt-pt"), std::pair("C", u"en-us"), std::pair("de_AT.UTF-8", u"de-at")}) {
    SetEnv("LANG", lang);
    EXPECT_EQ(manager_.SystemLanguageName(), tag) << lang;
  }
  EXPECT_EQ(manager_.FindBest(u"fr"), -1);
  Add({{u"", u"English (UK)"}});
  EXPECT_EQ(manager_.FindBest(u"fr"), 0);  // "english"
  Add({{u"en-us", u"English"}});
  EXPECT_EQ(manager_.FindBest(u"fr"), 1);  // "en", pass 3
  Add({{u"de", u"Deutsch"}});
  EXPECT_EQ(manager_.FindBest(u"fr"), 2);  // the system's de-at, pass 2
  EXPECT_EQ(manager_.FindBest(u"en-us"), 1);
}

// Select reads the table and shares the library's texts; a file gone since the scan leaves none current.
TEST_F(LangPackManTest, SelectReadsTheTable) {
  Add({{u"de", u"Deutsch"}, {u"", u"Fran\u00e7ais"}, {u"it", u"Italiano"}});
  EXPECT_TRUE(manager_.Current() == nullptr && !manager_.Get(1)->IsReady() && manager_.Get(1)->Strings().empty());
  for (int index : {1, 0}) {
    EXPECT_TRUE(manager_.Select(index));
    EXPECT_EQ(manager_.CurrentIndex(), index);
    EXPECT_EQ(manager_.Current(), manager_.Get(index));
  }
  EXPECT_EQ(manager_.Get(1)->Lookup(u"Which")->str(), u"Fran\u00e7ais");
  EXPECT_EQ(Which(), u"de");
  // The library's texts come from the pack that was selected last.
  const lumo::String title = lumo::CString::convert(*lumo::Localize(u"lumo.CError.Title", u"Error"),
                                                     lumo::GetUTF16CharEncoding());
  EXPECT_EQ(std::u16string_view(reinterpret_cast<const char16_t*>(title->data()), title->byteLength() / 2), u"de");
  lumo::GetStringLocalizer()->Clear();
  std::remove(std::filesystem::path(manager_.PathAt(0).str()).c_str());
  EXPECT_FALSE(manager_.Select(0));
  EXPECT_EQ(manager_.CurrentIndex(), -1);
  EXPECT_EQ(Which(), u"(none)");
  EXPECT_TRUE(manager_.Get(0)->Strings().empty() && manager_.Get(0)->Entries().empty());
  EXPECT_FALSE(manager_.Get(0)->IsReady());
  EXPECT_FALSE(manager_.Select(-1) || manager_.Select(3));
  EXPECT_EQ(manager_.Current(), nullptr);
}

TEST_F(LangPackManTest, ScanKeepsTheMatchingFilesThatRead) {
  const std::string lang = folder() / "lang";
  std::filesystem::create_directories(lang + "/Orbweave_dir.kvnLang");
  testing_support::WriteFile(lang + "/Orbweave_de.kvnLang", PackFile(u"de", u"Deutsch", u"de"));
  testing_support::WriteFile(lang + "/Orbweave.kvnLang", PackFile(u"", u"English", u"en"));
  testing_support::WriteFile(lang + "/Orbweave_bad.kvnLang", "LANGPCK2 not a pack");
  testing_support::WriteFile(lang + "/Other_fr.kvnLang", PackFile(u"fr", u"Fran\u00e7ais", u"fr"));
  testing_support::WriteFile(lang + "/Orbweave_it.kvnLang.bak", PackFile(u"it", u"Italiano", u"it"));
  Add({{u"es", u"Espa\u00f1ol"}});
  manager_.Scan(Path(lang + "/"), u"Orbweave");
  ASSERT_EQ(manager_.Count(), 2);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(manager_.Get(i)->FilePath(), manager_.PathAt(i));
  EXPECT_GE(manager_.Find(u"de"), 0);
  EXPECT_GE(manager_.Find(u"english"), 0);
  manager_.Scan(Path(folder() / "missing/"), u"Orbweave");
  EXPECT_EQ(manager_.Count(), 0);
}

// A gigabyte of zeros named like a pack, and packs followed by one, cost a scan their headers only, and
// a selection the table only: counted in bytes read, not in time.
TEST_F(LangPackManTest, ScanAndSelectReadHeadersAndTablesOnly) {
  const std::string lang = folder() / "lang/";
  std::filesystem::create_directories(lang);
  testing_support::WriteFile(lang + "Orbweave_zeros.kvnLang", "");
  testing_support::WriteFile(lang + "Orbweave_de.kvnLang", PackFile(u"de", u"Deutsch", u"de"));
  testing_support::WriteFile(lang + "Orbweave.kvnLang", PackFile(u"", u"English", u"en"));
  for (const char* name : {"Orbweave_zeros.kvnLang", "Orbweave_de.kvnLang", "Orbweave.kvnLang"})
    std::filesystem::resize_file(lang + name, std::uintmax_t{1} << 30);
  constexpr std::uint64_t kMiB = 1 << 20;
  const std::uint64_t start = BytesRead();
  ASSERT_GT(start, 0u);
  manager_.Scan(Path(lang), u"Orbweave");
  EXPECT_EQ(manager_.Count(), 2);
  const std::uint64_t scanned = BytesRead();
  EXPECT_LT(scanned - start, kMiB);
  for (const auto& [name, which] : {std::pair{u"de", u"de"}, std::pair{u"english", u"en"}}) {
    ASSERT_TRUE(manager_.Select(manager_.Find(name)));
    EXPECT_EQ(Which(), which);
  }
  EXPECT_LT(BytesRead() - scanned, kMiB);
}

}  // namespace
