// The command-line tokenizer and the path-name list reader.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "shell/CommandLine.h"
#include "shell/PathnameListFile.h"
#include "tests/support/TestSupport.h"

namespace {

// What a command line or a list file holds, in order.
template <class List>
std::vector<std::u16string> Texts(const List& list, CString (List::*get)(int) const) {
  std::vector<std::u16string> texts;
  for (int i = 0; i < list.Count(); ++i) texts.push_back((list.*get)(i).str());
  return texts;
}

TEST(CommandLine, SplitsAtBlanksAndKeepsQuotedBlanks) {
  const std::pair<const char16_t*, std::vector<std::u16string>> cases[] = {
      {u"   ", {}},
      {u"  -autoplay   -selectdrive E:  -copy ", {u"-autoplay", u"-selectdrive", u"E:", u"-copy"}},
      {u"-open \"Z:\\My Projects\\a b.prj\"", {u"-open", u"Z:\\My Projects\\a b.prj"}},
      {u"a\"b c\"d", {u"a", u"b c", u"d"}},                      // text glued to a quote is a token
      {u"\"\" x \"\"", {u"x"}},                                  // empty stretches are no tokens
      {u"-datacd \"Z:\\a b.txt", {u"-datacd", u"Z:\\a b.txt"}},  // an unclosed quote runs to the end
      {u"\t-rip\t", {u"-rip"}},                                  // tabs trim the ends, never separate
      {u"x\"\"\"y z\" w", {u"x", u"y z", u"w"}},                 // each quote toggles
  };
  for (const auto& [line, tokens] : cases) EXPECT_EQ(Texts(CCommandLine(line), &CCommandLine::Token), tokens);
  const CCommandLine line(u"-open a.prj");
  EXPECT_TRUE(line.Token(2).IsEmpty() && line.Token(-1).IsEmpty());
}

// Lines are trimmed, blank ones skipped, a line with a NUL names nothing; the
// first unit is always the byte order mark; a missing file is unreadable.
TEST(ListFile, ReadsPathsOnePerLine) {
  using testing_support::Utf16Bytes;
  const testing_support::TempFolder folder;
  const std::u16string text = u"Z:\\music\\a.wav\r\n\t Z:\\music\\b \u00e9\u20ac.wav  \r\n\r\n\nZ:\\last";
  const std::vector<std::u16string> expected{u"Z:\\music\\a.wav", u"Z:\\music\\b \u00e9\u20ac.wav", u"Z:\\last"};
  const std::u16string nul = u"Z:\\a\r\nZ:\\b" + std::u16string(1, u'\0') + u"c\r\nZ:\\d";
  const std::pair<std::optional<std::string>, std::vector<std::u16string>> cases[] = {
      {Utf16Bytes(text, false, true), expected},
      {Utf16Bytes(text, true, true), expected},
      {Utf16Bytes(nul, false, true), {u"Z:\\a", u"Z:\\d"}},
      {Utf16Bytes(u"Z:\\a\nZ:\\b", false, false), {u":\\a", u"Z:\\b"}},  // without a mark
      {"", {}},
      {std::nullopt, {}},
  };
  for (const auto& [bytes, paths] : cases) {
    SCOPED_TRACE(testing::PrintToString(paths));
    const std::string path = folder / (bytes ? "list.txt" : "missing.txt");
    if (bytes) testing_support::WriteFile(path, *bytes);
    CPathnameListFile list;
    EXPECT_EQ(list.Read(CString(std::u16string(path.begin(), path.end()))), bytes.has_value());
    EXPECT_EQ(list.Error(), bytes ? CPathnameListFile::kNone : CPathnameListFile::kUnreadable);
    EXPECT_EQ(Texts(list, &CPathnameListFile::Get), paths);
  }
}

}  // namespace
