#include "compat/mfc/WinApp.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "compat/win32/Error.h"
#include "compat/win32/Registry.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::GetRegDword;
using testing_support::GetRegString;

class TestApp : public CWinApp {
 public:
  using CWinApp::CWinApp;
};

// Each test writes into a registry of its own.
class WinAppProfileTest : public testing::Test {
 protected:
  void SetUp() override { setenv("ORBWEAVE_PREFIX", folder_.path().c_str(), 1); }
  void TearDown() override { unsetenv("ORBWEAVE_PREFIX"); }

 private:
  testing_support::TempFolder folder_;
};

TEST(WinAppTest, TheObjectRegistersForItsLifetime) {
  EXPECT_EQ(AfxGetApp(), nullptr);
  {
    TestApp app(u"Korvane Orbweave 9");
    EXPECT_EQ(AfxGetApp(), &app);
    app.m_hInstance = reinterpret_cast<HINSTANCE>(0x1000);
    EXPECT_EQ(AfxGetInstanceHandle(), app.m_hInstance);
  }
  EXPECT_EQ(AfxGetApp(), nullptr);
  EXPECT_EQ(AfxGetInstanceHandle(), nullptr);
}

TEST(WinAppTest, SetRegistryKeyNamesTheProfileAfterTheApplication) {
  std::u16string name = u"Orbweave";
  TestApp app(name.c_str());
  name = u"changed";  // the framework keeps its own copy
  app.SetRegistryKey(u"korvane\\Korvane Orbweave 9");
  EXPECT_EQ(std::u16string(app.m_pszRegistryKey), u"korvane\\Korvane Orbweave 9");
  EXPECT_EQ(std::u16string(app.m_pszProfileName), u"Orbweave");
}

TEST_F(WinAppProfileTest, WithoutRegistryKeyNothingIsWritten) {
  TestApp app(u"Orbweave");
  EXPECT_FALSE(app.WriteProfileInt(u"General", u"FirstStart", 0));
  EXPECT_FALSE(app.WriteProfileStringW(u"General", u"Language", u"german"));
  EXPECT_FALSE(app.WriteProfileStringW(u"General", nullptr, nullptr));
  EXPECT_EQ(app.GetProfileIntW(u"General", u"FirstStart", 7), 7u);
  EXPECT_EQ(app.GetProfileStringW(u"General", u"Language", u"english"), u"english");
}

TEST_F(WinAppProfileTest, ValuesGoBelowRegistryKeyAndProfileName) {
  TestApp app(u"Orbweave");
  app.SetRegistryKey(u"korvane\\Korvane Orbweave 9");
  ASSERT_TRUE(app.WriteProfileInt(u"General", u"FirstStart", 0));
  ASSERT_TRUE(app.WriteProfileInt(u"General", u"Negative", -2));
  ASSERT_TRUE(app.WriteProfileStringW(u"General", u"Language", u"fran\u00E7ais \u65E5\u672C"));

  const std::u16string section = u"Software\\korvane\\Korvane Orbweave 9\\Orbweave\\General";
  EXPECT_EQ(GetRegDword(HKEY_CURRENT_USER, section, u"FirstStart"), 0u);
  EXPECT_EQ(GetRegDword(HKEY_CURRENT_USER, section, u"Negative"), 0xFFFFFFFEu);
  EXPECT_EQ(GetRegString(HKEY_CURRENT_USER, section, u"Language"), u"fran\u00E7ais \u65E5\u672C");

  EXPECT_EQ(app.GetProfileIntW(u"General", u"FirstStart", 1), 0u);
  EXPECT_EQ(app.GetProfileIntW(u"general", u"firststart", 1), 0u);  // registry names ignore case
  EXPECT_EQ(app.GetProfileIntW(u"General", u"Negative", 1), 0xFFFFFFFEu);
  EXPECT_EQ(app.GetProfileStringW(u"General", u"Language"), u"fran\u00E7ais \u65E5\u672C");
}

TEST_F(WinAppProfileTest, AnEmptyProfileNamePutsSectionsBelowTheRegistryKey) {
  TestApp app(u"Orbweave");
  app.SetRegistryKey(u"korvane\\Korvane Orbweave 9");
  app.m_pszProfileName = u"";
  ASSERT_TRUE(app.WriteProfileInt(u"General", u"FirstStart", 0));
  ASSERT_TRUE(app.WriteProfileStringW(u"General", u"Language", u"german"));
  const std::u16string section = u"Software\\korvane\\Korvane Orbweave 9\\General";
  EXPECT_EQ(GetRegDword(HKEY_CURRENT_USER, section, u"FirstStart"), 0u);
  EXPECT_EQ(GetRegString(HKEY_CURRENT_USER, section, u"Language"), u"german");
  EXPECT_FALSE(GetRegDword(HKEY_CURRENT_USER, u"Software\\korvane\\Korvane Orbweave 9\\Orbweave\\General",
                           u"FirstStart"));
}

TEST_F(WinAppProfileTest, ReadsTakeTheDefaultForMissingOrMistypedValues) {
  TestApp app(u"Orbweave");
  app.SetRegistryKey(u"korvane");
  const std::u16string section = u"Software\\korvane\\Orbweave\\General";
  testing_support::SetRegString(HKEY_CURRENT_USER, section, u"Count", u"12");
  testing_support::SetRegDword(HKEY_CURRENT_USER, section, u"Name", 12);

  EXPECT_EQ(app.GetProfileIntW(u"General", u"Count", 5), 5u);           // text where a number belongs
  EXPECT_EQ(app.GetProfileStringW(u"General", u"Name", u"none"), u"none");  // number where text belongs
  EXPECT_EQ(app.GetProfileIntW(u"General", u"Missing", -1), 0xFFFFFFFFu);
  EXPECT_EQ(app.GetProfileStringW(u"Missing", u"Name", u"none"), u"none");
  EXPECT_TRUE(app.GetProfileStringW(u"Missing", u"Name").IsEmpty());
  // Reading leaves no trace in the registry.
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\korvane\\Orbweave\\Missing", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(WinAppProfileTest, NullValueRemovesTheEntryAndNullEntryTheSection) {
  TestApp app(u"Orbweave");
  app.SetRegistryKey(u"korvane");
  ASSERT_TRUE(app.WriteProfileStringW(u"Recent", u"File1", u"a.prj"));
  ASSERT_TRUE(app.WriteProfileStringW(u"Recent", u"File2", u"b.prj"));
  ASSERT_TRUE(app.WriteProfileStringW(u"Other", u"Keep", u"yes"));

  EXPECT_TRUE(app.WriteProfileStringW(u"Recent", u"File1", nullptr));
  EXPECT_EQ(app.GetProfileStringW(u"Recent", u"File1", u"gone"), u"gone");
  EXPECT_EQ(app.GetProfileStringW(u"Recent", u"File2"), u"b.prj");
  EXPECT_FALSE(app.WriteProfileStringW(u"Recent", u"File1", nullptr));  // nothing left to remove

  EXPECT_TRUE(app.WriteProfileStringW(u"Recent", nullptr, nullptr));
  EXPECT_EQ(app.GetProfileStringW(u"Recent", u"File2", u"gone"), u"gone");
  EXPECT_EQ(app.GetProfileStringW(u"Other", u"Keep"), u"yes");
}

}  // namespace
