#include "compat/mfc/CString.h"

#include <gtest/gtest.h>

#include <locale.h>
#include <wctype.h>

#include <climits>
#include <iterator>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>

#include "compat/win32/StringConv.h"

// Failure messages show the text as UTF-8.
void PrintTo(const CString& s, std::ostream* os) { *os << '"' << compat::win32::Utf16ToUtf8(s.str()) << '"'; }

namespace {

TEST(CStringTest, NullTextsAndNegativeCountsGiveTheEmptyString) {
  EXPECT_TRUE(CString(nullptr).IsEmpty());
  EXPECT_TRUE(CString(nullptr, 5).IsEmpty());
  EXPECT_TRUE(CString(u"abc", -1).IsEmpty());
  EXPECT_TRUE(CString(u'x', -3).IsEmpty());
  EXPECT_EQ(CString(u'x', 3), u"xxx");
  const char16_t raw[] = {u'a', 0, u'b'};
  EXPECT_FALSE(CString(raw, 3) == u"a");  // a counted text keeps its nulls

  CString s = u"abc";
  s += static_cast<LPCWSTR>(nullptr);
  EXPECT_EQ(s, u"abc");
  s = static_cast<LPCWSTR>(nullptr);
  EXPECT_EQ(s.GetString()[0], u'\0');
  EXPECT_TRUE(s == static_cast<LPCWSTR>(nullptr));
  EXPECT_EQ(CString(u"a").Compare(nullptr), 1);
}

TEST(CStringTest, ConcatenationAcceptsItsOwnText) {
  const CString a = u"Korvane";
  EXPECT_EQ(u"Software\\" + a + u'\\' + CString(u"9"), u"Software\\Korvane\\9");
  EXPECT_TRUE(u"Korvane" == a);

  CString self = u"ab";
  self += self;
  self += self.GetString();
  EXPECT_EQ(self, u"abababab");
  self = self.GetString() + 2;
  EXPECT_EQ(self, u"ababab");
}

TEST(CStringTest, CompareOrdersByUnsignedUnitsAndCompareNoCaseFoldsLettersDown) {
  const std::tuple<const char16_t*, const char16_t*, int, int> rows[] = {
      {u"abc", u"abc", 0, 0},   {u"abc", u"abd", -1, -1}, {u"ab", u"abc", -1, -1},
      {u"abc", u"ABCD", 1, -1}, {u"B", u"a", -1, 1},      {u"\uFF21", u"a", 1, 1},
      {u"_", u"a", -1, -1},  // letters fold down, not up
      {u"\u039F\u0394\u039F\u03A3", u"\u03BF\u03B4\u03BF\u03C2", -1, 0},  // final sigma
  };
  for (const auto& [a, b, ordinal, noCase] : rows) {
    SCOPED_TRACE(testing::PrintToString(CString(a)) + " vs " + testing::PrintToString(CString(b)));
    EXPECT_EQ(CString(a).Compare(b), ordinal);
    EXPECT_EQ(CString(b).Compare(a), -ordinal);
    EXPECT_EQ(CString(a).CompareNoCase(b), noCase);
    EXPECT_EQ(CString(b).CompareNoCase(a), -noCase);
  }
}

// Every unit of the plane maps as the C library maps it; units outside the plane and lone surrogates stay.
TEST(CStringTest, CaseMappingAgreesWithTheCLibraryOnThePlane) {
  EXPECT_EQ(CString(u"\U00010400\xD801").MakeLower(), u"\U00010400\xD801");
  CString ab = u"Ab";
  ab.MakeLower().MakeUpper();  // each works on the string itself
  EXPECT_EQ(ab, u"AB");

  locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (!utf8) GTEST_SKIP() << "no C.UTF-8 locale";
  std::u16string all, lower, upper;
  for (unsigned c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c < 0xE000) continue;
    auto keep = [c](wint_t m) { return static_cast<char16_t>(m > 0xFFFF ? c : m); };
    all += static_cast<char16_t>(c);
    lower += keep(towlower_l(c, utf8));
    upper += keep(towupper_l(c, utf8));
  }
  freelocale(utf8);
  EXPECT_TRUE(CString(all).MakeLower() == CString(lower));
  EXPECT_TRUE(CString(all).MakeUpper() == CString(upper));
  EXPECT_EQ(CString(lower).CompareNoCase(CString(upper)), 0);
}

TEST(CStringTest, FindReportsPositionsOrMinusOne) {
  const CString s = u"a-b-c";
  const std::pair<int, int> rows[] = {
      {s.Find(u'-'), 1},         {s.Find(u'-', 2), 3},          {s.Find(u'-', 99), -1},
      {s.Find(u'-', -5), 1},     {s.Find(u"b-c"), 2},           {s.Find(u"b-c", 3), -1},
      {s.Find(u"", 2), 2},       {s.FindOneOf(u"cb"), 2},       {s.FindOneOf(nullptr), -1},
      {s.ReverseFind(u'-'), 3},  {s.ReverseFind(u'x'), -1},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
}

TEST(CStringTest, ReplaceCountsNonOverlappingMatches) {
  const std::tuple<const char16_t*, const char16_t*, const char16_t*, int, const char16_t*> rows[] = {
      {u"%APPNAME% and %APPNAME%", u"%APPNAME%", u"Korvane Orbweave 9", 2,
       u"Korvane Orbweave 9 and Korvane Orbweave 9"},
      {u"aaaaa", u"aa", u"b", 2, u"bba"},
      {u"a.b", u".", u"...", 1, u"a...b"},  // the inserted text is not searched again
      {u"x-y-z", u"-", nullptr, 2, u"xyz"},
      {u"xyz", nullptr, u"q", 0, u"xyz"},
  };
  for (const auto& [text, from, to, count, result] : rows) {
    CString s = text;
    EXPECT_EQ(s.Replace(from, to), count) << testing::PrintToString(CString(text));
    EXPECT_EQ(s, result);
  }
  CString self = u"abab";
  EXPECT_EQ(self.Replace(self.GetString() + 2, self.GetString()), 2);  // both texts inside the string
  EXPECT_EQ(self, u"abababab");

  CString path = u"a/b/c";
  EXPECT_EQ(path.Replace(u'/', u'\\'), 2);
  EXPECT_EQ(path, u"a\\b\\c");
  EXPECT_EQ(path.Replace(u'\\', u'\\'), 0);
}

// Mid, Left and Right clamp instead of failing; Trim takes white space or the chosen characters.
TEST(CStringTest, PiecesClampAndTrimmingTakesOnlyWhatItShould) {
  const CString s = u"abcdef";
  CString all = u"abba";
  const std::pair<CString, const char16_t*> rows[] = {
      {s.Mid(2), u"cdef"},         {s.Mid(6), u""},           {s.Mid(7), u""},
      {s.Mid(INT_MIN), u"abcdef"}, {s.Mid(1, 3), u"bcd"},     {s.Mid(4, 10), u"ef"},
      {s.Mid(-2, 3), u"abc"},      {s.Mid(2, -1), u""},       {s.Mid(3, INT_MAX), u"def"},
      {s.Mid(INT_MAX, INT_MAX), u""}, {s.Left(2), u"ab"},     {s.Left(-1), u""},
      {s.Left(99), u"abcdef"},     {s.Right(2), u"ef"},       {s.Right(-4), u""},
      {s.Right(INT_MAX), u"abcdef"},
      {CString(u" \t\r\n\v\fx y\f\v\n\r\t ").Trim(), u"x y"},
      {CString(u"  x  ").TrimLeft(), u"x  "},      {CString(u"  x  ").TrimRight(), u"  x"},
      {CString(u"\u00A0x\u3000").Trim(), u"\u00A0x\u3000"},  // not white space here
      {CString(u"\"C:\\a b\\\"").Trim(u"\""), u"C:\\a b\\"},
      {CString(u"--==x=-").Trim(u"-="), u"x"},     {CString(u"xx").Trim(nullptr), u"xx"},
      {all.Trim(all.GetString()), u""},  // the set may be the string itself
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
}

}  // namespace
