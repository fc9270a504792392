// The application's Localize: the library's lookup seen through the
// framework's CString, in either direction of the text conversion.

#include <gtest/gtest.h>

#include "foundation/IStringLocalizer.h"
#include "localization/Localize.h"

namespace {

TEST(Localize, AnswersTheLibraryLookupElseTheDefault) {
  EXPECT_EQ(Localize(u"Test.Missing", u"Hello %NAME%"), CString(u"Hello %NAME%"));
  const lumo::P<lumo::IStringLocalizer>& localizer = lumo::GetStringLocalizer();
  localizer->Set("Test.Latin1", "Gr\xfc\xdf dich, %NAME%");
  localizer->Set(u"Test.Wide", u"\u041f\u0440\u0438\u0432\u0435\u0442, %NAME%");
  localizer->Set(u"Test.Empty", u"");
  CString latin1 = Localize(u"Test.Latin1", u"Hello %NAME%");
  EXPECT_EQ(ReplacePlaceholder(latin1, u"%NAME%", u"Ann"), CString(u"Gr\u00fc\u00df dich, Ann"));
  EXPECT_EQ(Localize(u"Test.Wide", u"Hello"), CString(u"\u041f\u0440\u0438\u0432\u0435\u0442, %NAME%"));
  EXPECT_EQ(Localize(u"Test.Empty", u"Hello"), CString(u""));
  EXPECT_EQ(Localize(u"test.wide", u"Hello"), CString(u"Hello"));
  localizer->Clear();
}

}  // namespace
