// The language dialog's rules without a window, and the ISO 639-2 table it
// names languages from.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "compat/mfc/Backend.h"
#include "compat/mfc/MessageBox.h"
#include "compat/win32/StringConv.h"
#include "langpacks/LangPackBytes.h"
#include "langpacks/LangPackMan.h"
#include "langpacks/Languages.h"
#include "tests/support/IsolatedTest.h"

namespace {

using compat::win32::Utf16ToUtf8;

TEST(LanguageTable, IsSortedAndFindsNamesByEitherCode) {
  const auto table = IsoLanguages();
  EXPECT_EQ(table.size(), 487u);  // the rows of the generated file
  EXPECT_TRUE(std::is_sorted(table.begin(), table.end(), [](const IsoLanguage& a, const IsoLanguage& b) {
    return std::u16string_view(a.codes) < std::u16string_view(b.codes);
  }));
  const std::pair<const char16_t*, const char16_t*> rows[] = {
      {u"de-at", u"German"},  {u"DE", u"German"},   {u"ger", u"German"},
      {u"Deu-CH", u"German"}, {u"tib", u"Tibetan"}, {u"zun", u"Zuni"},
      {u"ab", u"Abkhazian"},  {u"xx", u""},         {u"e", u""},
      {u"engl", u""},         {u"", u""},           {u"-en", u""},
  };
  for (const auto& [tag, name] : rows) EXPECT_EQ(EnglishLanguageName(tag).str(), name) << Utf16ToUtf8(tag);
}

class LanguagesTest : public testing_support::IsolatedTest {
 protected:
  void SetUp() override {
    compat::mfc::UseRecordingBackend();
    compat::mfc::ClearRecordedMessages();
  }
  // A first-format pack (no tag) with the given third and fourth header strings.
  void AddPlain(std::u16string_view name, std::u16string_view comment) {
    const PackBytes header = PackBytes().Wide(u"").Wide(u"").Wide(name).Wide(comment);
    Add(PackBytes().Raw("LANGPU16").U32(0).U32(0).U32(header.Size()).Append(header).U32(0).Str());
  }
  // A chunk-file pack with a tag.
  void AddTagged(std::u16string_view tag, std::u16string_view name, std::u16string_view comment) {
    const PackBytes lang = PackBytes::Chunk("lang", PackBytes().ChunkText(tag).ChunkText(name).ChunkText(u""));
    const PackBytes cmnt = PackBytes::Chunk("cmnt", PackBytes().ChunkText(comment));
    Add(PackBytes::ChunkFile("URESFILE", PackBytes(lang).Append(cmnt)).Str());
  }
  void Add(const std::string& bytes) {
    const std::string path = folder() / ("pack" + std::to_string(packs_.Count()) + ".kvnLang");
    testing_support::WriteFile(path, bytes);
    ASSERT_TRUE(packs_.AddPack(CString(compat::win32::Utf8ToUtf16(path))));
  }
  std::string Checks(const CLanguages& dialog) const {
    std::string marks;
    for (const CLanguages::Row& row : dialog.Rows()) marks += row.checked ? 'x' : '.';
    return marks;
  }

  CLangPackMan packs_;
};

TEST_F(LanguagesTest, RowsShowThePacksAndExactlyOneStaysChecked) {
  AddTagged(u"de-at", u"Deutsch (\u00d6sterreich)", u"by the team");
  AddPlain(u"English (UK)", std::u16string(5000, u'c'));
  AddPlain(u"", u"");  // empty header strings still list
  AddTagged(u"tib", u"Tibetan pack", u"");
  ASSERT_TRUE(packs_.Select(3));
  CLanguages dialog(packs_);
  dialog.OnInitDialog();
  ASSERT_EQ(dialog.Rows().size(), 4u);
  const std::pair<std::u16string, std::u16string> cells[] = {
      {u"Deutsch (\u00d6sterreich)", u"German"}, {u"English (UK)", u""}, {u"", u""}, {u"Tibetan pack", u"Tibetan"}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(std::pair(dialog.Rows()[i].nativeName.str(), dialog.Rows()[i].englishName.str()), cells[i]);
  }
  EXPECT_EQ(dialog.Rows()[1].comments.GetLength(), 5000);
  EXPECT_EQ(Checks(dialog), "...x");  // the current pack
  EXPECT_EQ(dialog.m_columns[0] + u"|" + dialog.m_columns[1] + u"|" + dialog.m_columns[2],
            CString(u"Native Language Name|English Language Name|Comments"));

  dialog.SetCheck(0, true);  // a second check unchecks the first
  EXPECT_EQ(Checks(dialog), "x...");
  dialog.SetCheck(0, false);  // the only checked row cannot be unchecked
  dialog.SetCheck(4, true);   // no such row
  EXPECT_EQ(Checks(dialog), "x...");
  ASSERT_TRUE(dialog.OnOK());
  EXPECT_EQ(dialog.ChosenLanguage().str(), u"de-at");
  dialog.SetCheck(1, true);  // no tag: the third header string is the name
  ASSERT_TRUE(dialog.OnOK());
  EXPECT_EQ(dialog.ChosenLanguage().str(), u"English (UK)");
  EXPECT_TRUE(compat::mfc::RecordedMessages().empty());
}

TEST_F(LanguagesTest, OkWithoutPacksOrChecksKeepsTheDialogOpen) {
  CLanguages empty(packs_);
  EXPECT_EQ(empty.DoModal(), IDCANCEL);  // no display: nothing is shown
  EXPECT_FALSE(empty.OnOK());
  AddTagged(u"de", u"Deutsch", u"");  // no current pack: nothing checked yet
  CLanguages unchecked(packs_);
  unchecked.OnInitDialog();
  EXPECT_FALSE(unchecked.OnOK());
  const auto& messages = compat::mfc::RecordedMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, u"No language packs are installed. The language of the program will be english.");
  EXPECT_TRUE(unchecked.ChosenLanguage().IsEmpty());

  int clicks = 0;
  unchecked.SetLinkHandler([&clicks] { ++clicks; });
  unchecked.OnLinkClicked();
  EXPECT_EQ(clicks, 1);
}

}  // namespace
