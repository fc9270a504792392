// The engine's text handling: the JSON it writes and the about box markup it reads.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>

#include "peers/orbcore/AboutMarkup.h"
#include "peers/orbcore/ConsoleRun.h"
#include "peers/orbcore/EngineTexts.h"
#include "peers/orbcore/PackTexts.h"
#include "tests/support/TestSupport.h"
#include "peers/orbcore/Json.h"

namespace {

using orbcore::AboutRun;
using orbcore::JsonValue;

TEST(EngineJsonTest, StringsAreEscapedAsJsonRequires) {
  const std::tuple<const char*, std::string, std::string> cases[] = {
      {"quote and backslash", "a\"b\\c", R"("a\"b\\c")"},
      {"short escapes", "\b\f\n\r\t", R"("\b\f\n\r\t")"},
      {"other control characters", std::string("\x01\x1f\x7f", 3), R"("\u0001\u001f\u007f")"},
      {"NUL inside", std::string("a\0b", 3), R"("a\u0000b")"},
      {"four-byte UTF-8 kept", "\xf0\x9f\x92\xbf", "\"\xf0\x9f\x92\xbf\""},
      {"lone continuation byte", "a\x80z", "\"a\xef\xbf\xbdz\""},
      {"overlong form", "\xc0\xaf", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
      {"encoded surrogate", "\xed\xa0\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
      {"past U+10FFFF", "\xf4\x90\x80\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
      {"cut off at the end", "ok\xe2\x82", "\"ok\xef\xbf\xbd\xef\xbf\xbd\""},
  };
  for (const auto& [what, in, out] : cases) EXPECT_EQ(JsonValue(in).Serialize(), out) << what;
}

TEST(EngineJsonTest, SetReplacesAMemberInPlace) {
  JsonValue doc = JsonValue::Object();
  doc.Set("result", "failure").Set("freeCalls", 0).Set("result", JsonValue()).Set("freeCalls", -1);
  EXPECT_EQ(doc.Serialize(), R"({"result":null,"freeCalls":-1})");
}

TEST(AboutMarkupTest, ShellDocumentBecomesParagraphsWithFilledNames) {
  const std::string markup =
      "<about><p><b>%APPNAME%,version %APPVER%</b><br/>&copy; 2024 Korvane &amp; partners<br/>"
      "example.com | example.org</p></about>\n"
      "<about><p>Recording components by   Maker\n  Ltd.<br />maker.example</p></about>";
  const auto paragraphs = orbcore::ParseAboutMarkup(markup, "Orbweave", "9.12");
  ASSERT_EQ(paragraphs.size(), 2u);
  const AboutRun br{"", false, true};
  EXPECT_EQ(paragraphs[0], (std::vector<AboutRun>{{"Orbweave,version 9.12", true, false}, br,
                                                  {"\xc2\xa9 2024 Korvane & partners", false, false}, br,
                                                  {"example.com | example.org", false, false}}));
  // White space collapses; "br /" is a break as well.
  EXPECT_EQ(paragraphs[1], (std::vector<AboutRun>{{"Recording components by Maker Ltd.", false, false}, br,
                                                  {"maker.example", false, false}}));
}

TEST(AboutMarkupTest, OddMarkupDegradesToText) {
  const std::pair<const char*, std::string> cases[] = {
      {"<about><p>a &unknown; b</p></about>", "a &unknown; b"},
      {"<about><p>&#169;&#xA9;&#0;&#xD800;</p></about>", "\xc2\xa9\xc2\xa9&#0;&#xD800;"},
      {"<about><p>x <i>y</i> z</p></about>", "x y z"},
      {"<about><p>fish & chips</p></about>", "fish & chips"},
      {"<about><p>cut <b", "cut"},
  };
  for (const auto& [markup, expected] : cases) {
    SCOPED_TRACE(markup);
    const auto paragraphs = orbcore::ParseAboutMarkup(markup, "", "");
    ASSERT_EQ(paragraphs.size(), 1u);
    std::string text;
    for (const AboutRun& run : paragraphs[0]) text += run.text;
    EXPECT_EQ(text, expected);
  }
  EXPECT_TRUE(orbcore::ParseAboutMarkup("", "a", "b").empty());
}

// The packs the build makes, in both formats: the engine's messages in the
// pack's language with the file filled in, and sizes with its decimal point;
// no pack, the English defaults.
TEST(PackTextsTest, MessagesComeFromThePackInItsLanguage) {
  const std::tuple<const char*, bool, std::string, std::string> packs[] = {
      {"Orbweave_de.kvnLang", true, "\xe2\x80\x9e/a b\xe2\x80\x9c ist nicht mehr vorhanden", "12,3 MB"},
      {"Orbweave_fr.kvnLang", true, "\xc2\xab /a b \xc2\xbb a disparu", "12,3 MB"},
      {"Orbweave_en.kvnLang", true, "\"/a b\" is gone", "12.3 MB"},
      {"none.kvnLang", false, "\"/a b\" is gone", "12.3 MB"},
  };
  for (const auto& [file, loads, start, size] : packs) {
    orbcore::EngineTexts texts;
    EXPECT_EQ(orbcore::LoadPackTexts(testing_support::BuildBin() + "/lang/" + file, texts), loads) << file;
    const std::string message = orbcore::FailureMessage({orbcore::Failure::SourceMissing, "/a b", ""}, texts);
    EXPECT_TRUE(message.starts_with(start)) << file << ": " << message;
    EXPECT_EQ(orbcore::Megabytes(12345678, texts), size) << file;
  }
  // Tenths rounded to the nearest; the progress line uses the same form.
  const orbcore::EngineTexts english;
  EXPECT_EQ(orbcore::Megabytes(49999, english) + " " + orbcore::Megabytes(950000, english), "0.0 MB 1.0 MB");
  EXPECT_EQ(orbcore::ProgressLine({0, 2000000, 0}, english), "Writing: 0% of 2.0 MB");
}

// Without a window the question for a blank disc goes to the progress
// stream in the pack's language; a line answers yes, the end of input no.
TEST(PackTextsTest, ConsoleAsksForABlankDiscInThePacksLanguage) {
  orbcore::EngineTexts texts;
  ASSERT_TRUE(orbcore::LoadPackTexts(testing_support::BuildBin() + "/lang/Orbweave_de.kvnLang", texts));
  for (const auto& [input, answer] : {std::pair{"\n", true}, std::pair{"", false}}) {
    std::ostringstream out;
    std::istringstream answers(input);
    orbcore::ConsoleObserver observer(out, false, texts, &answers);
    EXPECT_EQ(observer.AskForBlankDisc("/dev/sr0"), answer) << input;
    EXPECT_TRUE(out.str().starts_with("Die Disc ist gelesen. Nehmen Sie sie aus /dev/sr0")) << out.str();
  }
}

}  // namespace
