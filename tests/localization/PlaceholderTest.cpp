// Named placeholders: every whole occurrence, case-sensitively, left to
// right, without looking into what was inserted.

#include <gtest/gtest.h>

#include "foundation/CString.h"
#include "localization/Placeholder.h"

namespace lumo {
namespace {

TEST(Placeholder, ReplacesEveryWholeOccurrenceOnce) {
  struct Row {
    String text, placeholder, value;
    const char* expected;
  } rows[] = {
      {"%APP% and %APP%", "%APP%", "Orbweave", "Orbweave and Orbweave"},
      {"no placeholder here", "%APP%", "Orbweave", "no placeholder here"},
      {"%app% stays", "%APP%", "Orbweave", "%app% stays"},
      {"[%A%]", "%A%", "%A%%A%", "[%A%%A%]"},
      {"aaa", "aa", "b", "ba"},
      {"abc", "", "x", "abc"},
      {"%FILE%: %ERR%", "%ERR%", "", "%FILE%: "},
      {u"Datei \u00bb%FILE%\u00ab", "%FILE%", u"\u03a9.iso", "Datei \xc2\xbb\xce\xa9.iso\xc2\xab"},
  };
  for (const Row& row : rows) {
    const String expected = make<CUTF8String>(reinterpret_cast<const std::uint8_t*>(row.expected));
    EXPECT_EQ(Replace(row.text, row.placeholder, row.value), expected) << row.expected;
  }
}

}  // namespace
}  // namespace lumo
