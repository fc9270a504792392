// The program as built, with the language packs the build compiled into its
// "lang" folder: the user's locale or setting picks the pack, and the texts
// the engine receives are that pack's.
#include <gtest/gtest.h>

#include <ostream>

#include "tests/support/IsolatedTest.h"
#include "tests/support/Json.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

struct LanguageCase {
  const char* name;
  const char* locale;
  const char16_t* setting;  // the "Language" setting, or null for none
  const char* languageName;
  const char* pack;
  const char* upgradeName;
};

// The case's name stands for it in test names and messages.
void PrintTo(const LanguageCase& c, std::ostream* out) { *out << c.name; }

class LanguageTest : public testing_support::IsolatedTest, public testing::WithParamInterface<LanguageCase> {};

TEST_P(LanguageTest, LocaleOrSettingPicksThePackTheEngineSees) {
  const LanguageCase& c = GetParam();
  if (c.setting) {
    testing_support::SetRegString(HKEY_CURRENT_USER, u"Software\\korvane\\Korvane Orbweave 9\\General", u"Language",
                                  c.setting);
  }
  const std::string bin = testing_support::BuildBin();
  const std::string dump = folder() / "dump.json";
  testing_support::ProgramRun run;
  run.program = bin + "/orbweave";
  run.env = {{"LANG", c.locale}, {"ORBCORE_DUMP", dump}, {"ORBCORE_SCRIPT", "build,idle,result:success"}};
  run.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY", "LC_ALL", "LC_MESSAGES", "LANGUAGE"};
  const testing_support::ProcessResult result = testing_support::Run(run);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Json parsed = Json::ParseFile(dump);
  const Json& record = parsed["record"];
  EXPECT_EQ(record["12"].String(), c.languageName);
  EXPECT_TRUE(record["72"].String().ends_with(std::string("\\lang\\") + c.pack)) << record["72"].String();
  EXPECT_EQ(record["272"].String(), c.upgradeName);
}

const LanguageCase kCases[] = {
    {"GermanLocale", "de_DE.UTF-8", nullptr, "de", "Orbweave_de.kvnLang", "der Nachfolger von Korvane Orbweave 9"},
    {"FrenchLocale", "fr_FR.UTF-8", nullptr, "fr", "Orbweave_fr.kvnLang", "le successeur de Korvane Orbweave 9"},
    // A setting that names no installed language falls to the system's
    // language, then to English, which only its name finds.
    {"MissingLanguageIsEnglish", "pt_BR.UTF-8", u"tlh", "English", "Orbweave_en.kvnLang",
     "the successor of Korvane Orbweave 9"},
    {"SettingBeforeLocale", "en_US.UTF-8", u"fr-ca", "fr", "Orbweave_fr.kvnLang", "le successeur de Korvane Orbweave 9"},
};

INSTANTIATE_TEST_SUITE_P(Packs, LanguageTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<LanguageCase>& info) { return std::string(info.param.name); });

}  // namespace
