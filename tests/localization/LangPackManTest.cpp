// The language pack manager's view of the user's language: the tag taken
// from the locale variables.
#include "localization/LangPackMan.h"

#include <gtest/gtest.h>

#include "tests/support/IsolatedTest.h"

namespace {

using LangPackMan = testing_support::IsolatedTest;

// The variables count in the order the C library consults them; the first
// one set decides, and "C" or "POSIX" there means no language of its own.
TEST_F(LangPackMan, SystemLanguageIsTheTagOfTheFirstLocaleVariable) {
  const char* const variables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  const struct {
    const char* values[4];  // nullptr: unset
    const char16_t* tag;
  } cases[] = {
      {{nullptr, nullptr, nullptr, nullptr}, u"en-us"},
      {{"de_AT:en", "fr_FR.UTF-8", nullptr, "it_IT"}, u"de-at"},
      {{"", "fr_FR.UTF-8", "es_ES", "it_IT"}, u"fr-fr"},
      {{nullptr, nullptr, "pt_BR@euro", "it_IT"}, u"pt-br"},
      {{nullptr, nullptr, nullptr, "ZA_AZ.UTF-8"}, u"za-az"},
      {{nullptr, "C.UTF-8", nullptr, "it_IT"}, u"en-us"},
      {{"POSIX", nullptr, nullptr, "it_IT"}, u"en-us"},
      {{nullptr, nullptr, ".UTF-8", "it_IT"}, u"en-us"},
  };
  for (const auto& c : cases) {
    for (int i = 0; i < 4; ++i) {
      if (c.values[i] == nullptr) UnsetEnv(variables[i]);
      else SetEnv(variables[i], c.values[i]);
    }
    EXPECT_EQ(CLangPackMan().SystemLanguageName().str(), c.tag) << (&c - cases);
  }
}

}  // namespace
