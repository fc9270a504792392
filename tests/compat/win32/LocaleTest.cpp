// The user's language from the locale variables, and GetLocaleInfoW's names and buffer contract.
#include "compat/win32/Locale.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/compat/win32/Win32Expect.h"
#include "tests/support/IsolatedTest.h"

namespace {

using LocaleTest = testing_support::IsolatedTest;

// The first variable that is set and not empty decides, in the C library's
// order; a language alone means its main country.
TEST_F(LocaleTest, UserLanguageFromTheFirstLocaleVariable) {
  const char* const variables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  const struct {
    const char* values[4];  // nullptr: unset
    LANGID id;
  } cases[] = {
      {{nullptr, nullptr, nullptr, nullptr}, 0x0409},          {{"de_AT:en", "fr_FR.UTF-8", nullptr, "it_IT"}, 0x0C07},
      {{"", "fr_CA.UTF-8", "es_ES", "it_IT"}, 0x0C0C},         {{nullptr, nullptr, "pt_BR@euro", "it_IT"}, 0x0416},
      {{nullptr, nullptr, nullptr, "DE_ch"}, 0x0807},          {{nullptr, nullptr, nullptr, "de"}, 0x0407},
      {{nullptr, nullptr, nullptr, "de_LU"}, 0x0407},          {{nullptr, nullptr, nullptr, "za_AZ.UTF-8"}, 0x0409},
      {{nullptr, "C.UTF-8", nullptr, "it_IT"}, 0x0409},        {{"POSIX", nullptr, nullptr, "it_IT"}, 0x0409},
  };
  for (const auto& c : cases) {
    for (int i = 0; i < 4; ++i) c.values[i] ? SetEnv(variables[i], c.values[i]) : UnsetEnv(variables[i]);
    EXPECT_EQ(GetUserDefaultUILanguage(), c.id) << (&c - cases);
  }
}

std::u16string Info(LCID locale, LCTYPE type) {
  WCHAR buffer[16];
  const int length = GetLocaleInfoW(locale, type, buffer, 16);
  return length > 0 ? std::u16string(buffer, static_cast<std::size_t>(length - 1)) : u"(failed)";
}

TEST_F(LocaleTest, LocaleInfoNamesAndBufferContract) {
  const LCID austria = MAKELCID(0x0C07, SORT_DEFAULT);
  EXPECT_EQ(Info(austria, LOCALE_SISO639LANGNAME), u"de");
  EXPECT_EQ(Info(austria, LOCALE_SISO3166CTRYNAME), u"AT");
  EXPECT_EQ(Info(austria, LOCALE_SABBREVLANGNAME), u"DEA");
  EXPECT_EQ(Info(austria, LOCALE_SABBREVCTRYNAME), u"AUT");
  for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) UnsetEnv(variable);
  SetEnv("LANG", "en_GB.UTF-8");
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME), u"GB");
  EXPECT_EQ(Info(LOCALE_SYSTEM_DEFAULT, LOCALE_SABBREVLANGNAME), u"ENG");

  EXPECT_WIN32(GetLocaleInfoW(austria, LOCALE_SABBREVLANGNAME, nullptr, 0), 4, 0xdeadbeef);
  WCHAR small[3] = {0xCCCC, 0xCCCC, 0xCCCC};
  EXPECT_WIN32(GetLocaleInfoW(austria, LOCALE_SABBREVLANGNAME, small, 3), 0, ERROR_INSUFFICIENT_BUFFER);
  WCHAR exact[4];
  EXPECT_WIN32(GetLocaleInfoW(austria, LOCALE_SABBREVLANGNAME, exact, 4), 4, 0xdeadbeef);
  EXPECT_EQ(std::u16string(exact), u"DEA");
  EXPECT_WIN32(GetLocaleInfoW(MAKELCID(0x0436, SORT_DEFAULT), LOCALE_SISO639LANGNAME, exact, 4), 0,
               ERROR_INVALID_PARAMETER);
  EXPECT_WIN32(GetLocaleInfoW(austria, 0x1002, exact, 4), 0, ERROR_INVALID_FLAGS);
  EXPECT_WIN32(GetLocaleInfoW(austria, LOCALE_SISO639LANGNAME, nullptr, 4), 0, ERROR_INVALID_PARAMETER);
}

}  // namespace
