// The application's Localize over the current language pack.
#include "langpacks/Localize.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "compat/mfc/Exception.h"
#include "compat/win32/StringConv.h"
#include "langpacks/LangPackMan.h"
#include "langpacks/LangPackBytes.h"
#include "tests/support/IsolatedTest.h"

namespace {

class LocalizeTest : public testing_support::IsolatedTest {
 protected:
  ~LocalizeTest() override {
    LangPackMan().Scan(Folder("none"), u"Orbweave");
    LangPackMan().Select(-1);
  }
  void ScanPacks(const std::string& name, int count) {
    std::filesystem::create_directories(folder() / name);
    PackBytes entries;
    entries.U32(0).ChunkText(u"Kyrell.Title").ChunkText(u"Titel").U32(0).U32(0);
    entries.U32(0).ChunkText(u"Empty").ChunkText(u"").U32(0).U32(0);
    // Keys of every length modulo four, as the key is measured four units a step.
    entries.U32(0).ChunkText(u"Key").ChunkText(u"Drei").U32(0).U32(0);
    entries.U32(0).ChunkText(u"Key.Ab").ChunkText(u"6").U32(0).U32(0);
    PackBytes body = PackBytes::Chunk("lang", PackBytes().ChunkText(u"de").ChunkText(u"Deutsch").ChunkText(u""));
    body.Append(PackBytes::Chunk("STMP", PackBytes::Chunk("data", PackBytes().U32(4).Append(entries))));
    for (int i = 0; i < count; ++i)
      testing_support::WriteFile(folder() / (name + "/Orbweave" + std::to_string(i) + ".kvnLang"),
                                 PackBytes::ChunkFile("URESFILE", body).Str());
    LangPackMan().Scan(Folder(name), u"Orbweave");
    ASSERT_EQ(LangPackMan().Count(), count);
  }
  CString Folder(const std::string& name) const { return CString(compat::win32::Utf8ToUtf16(folder() / name + "/")); }
};

TEST_F(LocalizeTest, AnswersTheCurrentPacksTextElseTheDefaultItself) {
  const char16_t* const title = u"Title";
  EXPECT_EQ(Localize(u"Kyrell.Title", title), title);
  ScanPacks("lang", 2);
  EXPECT_EQ(Localize(u"Kyrell.Title", title), title);  // scanned, not selected
  ASSERT_TRUE(LangPackMan().Select(1));
  EXPECT_EQ(std::u16string_view(Localize(u"Kyrell.Title", title)), u"Titel");
  // The pack's own text, the same each time, for the life of the pack.
  EXPECT_EQ(Localize(u"Kyrell.Title", title), LangPackMan().Current()->Lookup(u"Kyrell.Title")->GetString());
  for (auto [key, text] : {std::pair(u"Empty", u""), std::pair(u"Key", u"Drei"), std::pair(u"Key.Ab", u"6")})
    EXPECT_EQ(std::u16string_view(Localize(key, title)), text);
  for (const char16_t* key : {u"kyrell.title", u"Missing", static_cast<const char16_t*>(nullptr)})
    EXPECT_EQ(Localize(key, title), title) << (key != nullptr);
}

// A scan keeps the current index: past the fewer packs it raises, with no packs the default answers.
TEST_F(LocalizeTest, CurrentIndexOutsideTheListRaises) {
  ScanPacks("two", 2);
  ASSERT_TRUE(LangPackMan().Select(1));
  ScanPacks("one", 1);
  EXPECT_THROW(Localize(u"Kyrell.Title", u"Title"), CInvalidArgException);
  ScanPacks("zero", 0);
  EXPECT_EQ(std::u16string_view(Localize(u"Kyrell.Title", u"Title")), u"Title");
}

}  // namespace
