#include "compat/mfc/WinApp.h"

#include <gtest/gtest.h>

#include "compat/win32/Error.h"
#include "compat/win32/Registry.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::GetRegString;

class WinAppProfileTest : public testing_support::IsolatedTest {};

TEST(WinAppTest, TheObjectRegistersForItsLifetime) {
  EXPECT_EQ(AfxGetApp(), nullptr);
  {
    CWinApp app(u"Korvane Orbweave 9");
    EXPECT_EQ(AfxGetApp(), &app);
    app.m_hInstance = reinterpret_cast<HINSTANCE>(0x1000);
    EXPECT_EQ(AfxGetInstanceHandle(), app.m_hInstance);
  }
  EXPECT_EQ(AfxGetApp(), nullptr);
  EXPECT_EQ(AfxGetInstanceHandle(), nullptr);
}

TEST_F(WinAppProfileTest, ValuesGoBelowRegistryKeyAndProfileName) {
  std::u16string name = u"Orbweave";
  CWinApp app(name.c_str());
  name = u"changed";  // the framework keeps its own copy
  // Without a registry key nothing is written and reads answer the default.
  EXPECT_FALSE(app.WriteProfileInt(u"General", u"Negative", 0));
  EXPECT_FALSE(app.WriteProfileStringW(u"General", u"Language", u"german"));
  EXPECT_FALSE(app.WriteProfileStringW(u"General", nullptr, nullptr));
  EXPECT_EQ(app.GetProfileIntW(u"General", u"Negative", 7), 7u);
  EXPECT_EQ(app.GetProfileStringW(u"General", u"Language", u"english"), u"english");
  app.SetRegistryKey(u"korvane\\Korvane Orbweave 9");
  const std::u16string text = u"fran\u00E7ais \u65E5\u672C";
  ASSERT_TRUE(app.WriteProfileInt(u"General", u"Negative", -2));
  ASSERT_TRUE(app.WriteProfileStringW(u"General", u"Language", text.c_str()));
  const std::u16string section = u"Software\\korvane\\Korvane Orbweave 9\\Orbweave\\General";
  EXPECT_EQ(testing_support::GetRegDword(HKEY_CURRENT_USER, section, u"Negative"), 0xFFFFFFFEu);
  EXPECT_EQ(GetRegString(HKEY_CURRENT_USER, section, u"Language"), text);
  EXPECT_EQ(app.GetProfileIntW(u"general", u"negative", 1), 0xFFFFFFFEu);  // registry names ignore case
  EXPECT_EQ(app.GetProfileStringW(u"General", u"Language"), text.c_str());
  // An empty profile name puts the sections right below the registry key.
  app.m_pszProfileName = u"";
  ASSERT_TRUE(app.WriteProfileStringW(u"General", u"Language", u"german"));
  EXPECT_EQ(GetRegString(HKEY_CURRENT_USER, u"Software\\korvane\\Korvane Orbweave 9\\General", u"Language"),
            u"german");
}

TEST_F(WinAppProfileTest, MissingOrMistypedValuesReadAsTheDefaultAndNullsRemove) {
  CWinApp app(u"Orbweave");
  app.SetRegistryKey(u"korvane");
  const std::u16string section = u"Software\\korvane\\Orbweave\\General";
  testing_support::SetRegString(HKEY_CURRENT_USER, section, u"Count", u"12");
  testing_support::SetRegDword(HKEY_CURRENT_USER, section, u"Name", 12);
  EXPECT_EQ(app.GetProfileIntW(u"General", u"Count", 5), 5u);               // text where a number belongs
  EXPECT_EQ(app.GetProfileStringW(u"General", u"Name", u"none"), u"none");  // number where text belongs
  EXPECT_EQ(app.GetProfileStringW(u"Missing", u"Name", u"none"), u"none");
  HKEY key = nullptr;  // reading made no section
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\korvane\\Orbweave\\Missing", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  // A null value removes the entry, a null entry the whole section.
  ASSERT_TRUE(app.WriteProfileStringW(u"Recent", u"File1", u"a.prj"));
  ASSERT_TRUE(app.WriteProfileStringW(u"Recent", u"File2", u"b.prj"));
  EXPECT_TRUE(app.WriteProfileStringW(u"Recent", u"File1", nullptr));
  EXPECT_EQ(app.GetProfileStringW(u"Recent", u"File1", u"gone"), u"gone");
  EXPECT_EQ(app.GetProfileStringW(u"Recent", u"File2"), u"b.prj");
  EXPECT_TRUE(app.WriteProfileStringW(u"Recent", nullptr, nullptr));
  EXPECT_EQ(app.GetProfileStringW(u"Recent", u"File2", u"gone"), u"gone");
  EXPECT_EQ(app.GetProfileStringW(u"General", u"Count"), u"12");  // other sections stay
}

}  // namespace
