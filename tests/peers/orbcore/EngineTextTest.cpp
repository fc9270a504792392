// The engine's text handling: the JSON it writes, the about box markup it
// reads and the command script it follows.
#include <gtest/gtest.h>

#include <string>

#include "peers/orbcore/AboutMarkup.h"
#include "peers/orbcore/Json.h"
#include "peers/orbcore/Script.h"
#include "tests/support/Json.h"

namespace {

using orbcore::AboutRun;
using orbcore::JsonValue;

TEST(EngineJsonTest, StringsAreEscapedAsJsonRequires) {
  struct Case {
    const char* what;
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"quote and backslash", "a\"b\\c", R"("a\"b\\c")"},
      {"short escapes", "\b\f\n\r\t", R"("\b\f\n\r\t")"},
      {"other control characters", std::string("\x01\x1f\x7f", 3), R"("\u0001\u001f\u007f")"},
      {"NUL inside", std::string("a\0b", 3), R"("a\u0000b")"},
      {"slash stays", "a/b", R"("a/b")"},
      {"two-byte UTF-8 kept", "\xc3\xa4", "\"\xc3\xa4\""},
      {"four-byte UTF-8 kept", "\xf0\x9f\x92\xbf", "\"\xf0\x9f\x92\xbf\""},
      {"lone continuation byte", "a\x80z", "\"a\xef\xbf\xbdz\""},
      {"overlong form", "\xc0\xaf", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
      {"encoded surrogate", "\xed\xa0\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
      {"past U+10FFFF", "\xf4\x90\x80\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
      {"cut off at the end", "ok\xe2\x82", "\"ok\xef\xbf\xbd\xef\xbf\xbd\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(JsonValue(c.in).Serialize(), c.out);
  }
}

TEST(EngineJsonTest, DocumentsReadBackAsBuilt) {
  JsonValue doc = JsonValue::Object();
  doc.Set("record", JsonValue::Object().Set("0", 22).Set("8", 0x80000001u).Set("212", JsonValue::Object().Set("0", -12)));
  doc.Set("steps", JsonValue::Array().Push(JsonValue::Object().Set("name", "build")).Push(JsonValue()));
  doc.Set("flag", true).Set("text", std::optional<std::string>()).Set("flag", false);
  const std::string text = doc.Serialize();
  // Set replaces a member in place instead of adding a second one.
  EXPECT_EQ(text.find("\"flag\""), text.rfind("\"flag\""));

  const Json back = Json::Parse(text);
  EXPECT_EQ(back["record"]["0"].Number(), 22);
  EXPECT_EQ(back["record"]["8"].Number(), 2147483649.0);
  EXPECT_EQ(back["record"]["212"]["0"].Number(), -12);
  EXPECT_EQ(back["steps"][0]["name"].String(), "build");
  EXPECT_TRUE(back["steps"][1].IsNull());
  EXPECT_EQ(back["flag"].kind(), Json::Kind::Bool);
  EXPECT_FALSE(back["flag"].Bool());
  EXPECT_TRUE(back.Has("text"));
  EXPECT_TRUE(back["text"].IsNull());
}

TEST(AboutMarkupTest, ShellDocumentBecomesParagraphsWithFilledNames) {
  const std::string markup =
      "<about><p><b>%APPNAME%,version %APPVER%</b><br/>&copy; 2024 Korvane &amp; partners<br/>"
      "example.com | example.org</p></about>\n"
      "<about><p>Recording components by   Maker\n  Ltd.<br />maker.example</p></about>";
  const auto paragraphs = orbcore::ParseAboutMarkup(markup, "Orbweave", "9.12");
  ASSERT_EQ(paragraphs.size(), 2u);
  const std::vector<AboutRun> first = {
      {"Orbweave,version 9.12", true, false},
      {"", false, true},
      {"\xc2\xa9 2024 Korvane & partners", false, false},
      {"", false, true},
      {"example.com | example.org", false, false},
  };
  EXPECT_EQ(paragraphs[0], first);
  // White space collapses; "br /" is a break as well.
  const std::vector<AboutRun> second = {
      {"Recording components by Maker Ltd.", false, false},
      {"", false, true},
      {"maker.example", false, false},
  };
  EXPECT_EQ(paragraphs[1], second);
}

TEST(AboutMarkupTest, OddMarkupDegradesToText) {
  struct Case {
    const char* markup;
    std::string text;
  };
  const Case cases[] = {
      {"<about><p>a &unknown; b</p></about>", "a &unknown; b"},
      {"<about><p>&#169;&#xA9;&#0;&#xD800;</p></about>", "\xc2\xa9\xc2\xa9&#0;&#xD800;"},
      {"<about><p>x <i>y</i> z</p></about>", "x y z"},
      {"<about><p>fish & chips</p></about>", "fish & chips"},
      {"<about><p>cut <b", "cut"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.markup);
    const auto paragraphs = orbcore::ParseAboutMarkup(c.markup, "", "");
    ASSERT_EQ(paragraphs.size(), 1u);
    std::string text;
    for (const AboutRun& run : paragraphs[0]) text += run.text;
    EXPECT_EQ(text, c.text);
  }
  EXPECT_TRUE(orbcore::ParseAboutMarkup("", "a", "b").empty());
}

TEST(ScriptTest, StepsAndTheirArguments) {
  using Kind = orbcore::ScriptStep::Kind;
  EXPECT_EQ(orbcore::SplitScript(" build ,, command:2000,idle ,"),
            (std::vector<std::string>{"build", "command:2000", "idle"}));

  struct Case {
    const char* step;
    bool known;
    Kind kind;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"build", true, Kind::Build, 0},
      {"idle", true, Kind::Idle, 0},
      {"command:2000", true, Kind::Command, 2000},
      {"command:4294967295", true, Kind::Command, 4294967295u},
      {"wait:0", true, Kind::Wait, 0},
      {"result:null", true, Kind::Result, 0},
      {"command:4294967296", false, Kind::Build, 0},
      {"command:12x", false, Kind::Build, 0},
      {"command:", false, Kind::Build, 0},
      {"wait:+5", false, Kind::Build, 0},
      {"Build", false, Kind::Build, 0},
      {"idle:1", false, Kind::Build, 0},
      {"result:", false, Kind::Build, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    const auto step = orbcore::ParseStep(c.step);
    ASSERT_EQ(step.has_value(), c.known);
    if (!step) continue;
    EXPECT_EQ(step->kind, c.kind);
    EXPECT_EQ(step->value, c.value);
  }
  EXPECT_EQ(orbcore::ParseStep("result:failure")->result, orbcore::RunResult::Failure);
}

}  // namespace
