// String operations in each text form, start form and case mode, with subjects in several encodings.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "FoundationTestSupport.h"
#include "foundation/CString.h"
#include "foundation/CStringSlice.h"
#include "foundation/CaseTable.h"
#include "foundation/Exception.h"
#include "foundation/IArray.h"
#include "foundation/String.h"
#include "foundation/StringEngine.h"

namespace lumo {
namespace {

using test::Bytes;

String In(const P<ICharEncoding>& encoding, const char16_t* text) { return CString::convert(*String(text), encoding); }

bool FitsLatin1(std::u16string_view text) {
  return std::ranges::all_of(text, [](char16_t c) { return c <= 0xFF; });
}

// `text` in UTF-8, UTF-16, UTF-32 and, when it fits, Latin-1.
std::vector<String> Subjects(const char16_t* text) {
  std::vector<String> subjects = {In(GetUTF8CharEncoding(), text), String(text), In(GetUTF32CharEncoding(), text)};
  if (FitsLatin1(text)) subjects.push_back(In(GetLatin1CharEncoding(), text));
  return subjects;
}

// Calls `check` with `text` as char16_t text, as char text when it fits Latin-1, and as a UTF-8 string.
template <class Check>
void EachForm(const char16_t* text, Check&& check) {
  check(text);
  if (FitsLatin1(text)) {
    const std::u16string_view wide(text);
    const std::string latin1(wide.begin(), wide.end());
    check(latin1.c_str());
  }
  check(*In(GetUTF8CharEncoding(), text));
}

// EachForm, and then the code point itself when `text` is a single one.
template <class Check>
void EachFormOrCodePoint(const char16_t* text, Check&& check) {
  EachForm(text, check);
  if (const String one(text); one.length() == 1) check(one->charAt(0));
}

// Calls `check` with the start `index` as an index and as a position; a negative index is no position.
template <class Check>
void EachStart(const String& subject, std::int32_t index, Check&& check) {
  check(index);
  check(index < 0 ? StringPosition::none() : subject->makePosition(index));
}

// U+20AC in UTF-8, for expected texts.
#define EURO "\xe2\x82\xac"

#define WHERE(subject) ToUTF8(subject) << " in " << (subject)->getEncoding()->getName()

TEST(Strings, NullDiffersFromEmpty) {
  const String null;
  EXPECT_TRUE(null.isNull());
  EXPECT_TRUE(null.isEmpty());
  EXPECT_FALSE(String("").isNull());
  EXPECT_TRUE(String(static_cast<const char*>(nullptr)).isNull());
  EXPECT_EQ(make<CLatin1String>(static_cast<const char*>(nullptr), 5)->byteLength(), 0);  // no text, no bytes
  EXPECT_TRUE((TNullString<std::uint8_t, CCPString>::instance()->isTerminated()));
  EXPECT_EQ(null, String(""));  // equal text, still told apart by isNull
  EXPECT_FALSE(String("abc")->slice(1, 1).isNull());
  EXPECT_FALSE(null->concat("").isNull());
}

TEST(Strings, ConstructionModesAndTermination) {
  char buffer[] = "abcdef";
  EXPECT_TRUE(make<CLatin1String>(buffer)->isTerminated());
  const P<CLatin1String> borrowed = make<CLatin1String>(buffer, 3, StringMode::kBorrow);
  EXPECT_FALSE(borrowed->isTerminated());
  EXPECT_EQ(borrowed->data(), reinterpret_cast<const std::uint8_t*>(buffer));
  EXPECT_EQ(borrowed->length(), 3);
  const P<CLatin1String> copied = make<CLatin1String>(buffer, 3);
  EXPECT_TRUE(copied->isTerminated());
  EXPECT_NE(copied->data(), reinterpret_cast<const std::uint8_t*>(buffer));
  EXPECT_EQ(copied->data()[3], 0);

  std::uint8_t* owned = CString::allocate(4);
  const char16_t text[] = u"\u00e9\U0001F600";
  std::memcpy(owned, text, 4);
  const P<CWCharString> adopted = make<CWCharString>(reinterpret_cast<char16_t*>(owned), 4, -1, StringMode::kAdopt);
  EXPECT_EQ(adopted->length(), 1);  // a pair cut in half is not a character
  EXPECT_EQ(make<CWCharString>(text)->length(), 2);
  EXPECT_EQ(make<CWCharString>(text)->byteLength(), 6);

  // In every encoding a borrowed text of explicit length is not terminated.
  const std::uint8_t narrow[] = "AB";
  const std::uint32_t wide[] = {0x41, 0x42, 0};
  const P<CString> unterminated[] = {
      make<CWCharString>(u"AB", 2, -1, StringMode::kBorrow), make<CUTF8String>(narrow, 1, -1, StringMode::kBorrow),
      make<CUTF32String>(wide, 4, -1, StringMode::kBorrow), make<CCPString>(narrow, 1, -1, StringMode::kBorrow)};
  for (const P<CString>& string : unterminated) {
    EXPECT_FALSE(string->isTerminated()) << string->getEncoding()->getName();
    EXPECT_EQ(string->length(), 1);
  }
}

// compare, matchesAt and startsWith from a start, and endsWith, in both case modes.
TEST(Strings, CompareMatchStartAndEnd) {
  struct Row {
    const char16_t *subject, *other;
    std::int32_t start, max;
    std::int32_t compare, compareNoCase;
    bool matches, matchesNoCase, starts, startsNoCase, ends, endsNoCase;
  } rows[] = {
      {u"abc", u"abcd", 0, -1, -1, -1, false, false, false, false, false, false},
      {u"abcd", u"abc", 0, -1, 1, 1, false, false, true, true, false, false},
      {u"abcd", u"abc", 0, 3, 0, 0, true, true, true, true, false, false},
      {u"abcd", u"CD", 2, -1, 1, 0, false, true, false, true, false, true},
      {u"ABXX", u"abcd", 0, 2, -1, 0, false, true, false, false, false, false},
      {u"gr\u00fc\u00df", u"\u00fc\u00df", 2, -1, 0, 0, true, true, true, true, true, true},
      {u"a\U0001F600b", u"\U0001F600B", 1, -1, 1, 0, false, true, false, true, false, true},
      // U+0130 folds to i by the simple lower-case mapping.
      {u"\u0130", u"i", 0, -1, 1, 0, false, true, false, true, false, true},
      {u"\u00c9T\u00c9", u"\u00e9t\u00e9", 0, -1, -1, 0, false, true, false, true, false, true},
      {u"ab", u"", 2, -1, 0, 0, true, true, true, true, true, true},
      {u"", u"", 0, -1, 0, 0, true, true, true, true, true, true},
  };
  for (const Row& row : rows) {
    for (const String& subject : Subjects(row.subject)) {
      EachForm(row.other, [&](const auto& other) {
        SCOPED_TRACE(testing::Message() << WHERE(subject) << " against " << ToUTF8(row.other));
        EXPECT_EQ(subject->endsWith(other), row.ends);
        EXPECT_EQ(subject->endsWithNoCase(other), row.endsNoCase);
        EachStart(subject, row.start, [&](auto start) {
          EXPECT_EQ(subject->compare(other, start, row.max), row.compare);
          EXPECT_EQ(subject->compareNoCase(other, start, row.max), row.compareNoCase);
          EXPECT_EQ(subject->matchesAt(other, start, row.max), row.matches);
          EXPECT_EQ(subject->matchesAtNoCase(other, start, row.max), row.matchesNoCase);
          EXPECT_EQ(subject->startsWith(other, start), row.starts);
          EXPECT_EQ(subject->startsWithNoCase(other, start), row.startsNoCase);
        });
      });
    }
  }
  EXPECT_FALSE(String("ab")->startsWith("", 3));  // no such place
  EXPECT_EQ(String("abc")->compareTo(*String(u"abc")), 0);
  EXPECT_EQ(String("abc")->compareTo(*GetUTF8CharEncoding().get()->describe()), -1);
}

// find from a start and findLast up to a bound; the found position's offset agrees with makePosition's.
TEST(Strings, FindForwardsAndBackwards) {
  struct Row {
    const char16_t *subject, *needle;
    std::int32_t start;
    std::int32_t find, findNoCase;  // from start
    std::int32_t last, lastNoCase;  // ending at or before start (-1: the end)
  } rows[] = {
      {u"xAbx\u20acab", u"ab", 0, 5, 1, -1, -1},  {u"xAbx\u20acab", u"ab", -1, -1, -1, 5, 5},
      {u"abXab", u"ab", 4, -1, -1, 0, 0},         {u"aaa", u"aa", 0, 0, 0, -1, -1},
      {u"aaa", u"aa", 3, -1, -1, 1, 1},           {u"abc", u"abcd", 0, -1, -1, -1, -1},
      {u"ab", u"b", 1, 1, 1, -1, -1},             {u"abc", u"", 0, -1, -1, -1, -1},
      {u"", u"a", 0, -1, -1, -1, -1},             {u"a\U0001F600b", u"\U0001F600B", 0, -1, 1, -1, -1},
      // A letter that occurs in both cases tells the case modes apart.
      {u"a\u20acBa\u20acb", u"B", 0, 2, 2, -1, -1},  {u"a\u20acBa\u20acb", u"B", 3, -1, 5, 2, 2},
      {u"a\u20acBa\u20acb", u"B", -1, -1, -1, 2, 5}, {u"a\u20acBa\u20acb", u"b", 5, 5, 5, -1, 2},
      {u"a\u20acBa\u20acb", u"b", 6, -1, -1, 5, 5},  {u"a\u20acBa\u20acb", u"\u20ac", 2, 4, 4, 1, 1},
  };
  for (const Row& row : rows) {
    for (const String& subject : Subjects(row.subject)) {
      const auto expect = [&](StringPosition found, std::int32_t index, const char* what) {
        const StringPosition wanted = index < 0 ? StringPosition::none() : subject->makePosition(index);
        EXPECT_EQ(found, wanted) << what << " in " << WHERE(subject) << " for " << ToUTF8(row.needle) << " from "
                                 << row.start;
      };
      EachFormOrCodePoint(row.needle, [&](const auto& needle) {
        EachStart(subject, row.start, [&](auto start) {
          if (row.start >= 0) {
            expect(subject->find(needle, start), row.find, "find");
            expect(subject->findNoCase(needle, start), row.findNoCase, "findNoCase");
          }
          expect(subject->findLast(needle, start), row.last, "findLast");
          expect(subject->findLastNoCase(needle, start), row.lastNoCase, "findLastNoCase");
        });
      });
    }
  }
  EXPECT_EQ(String("ab")->find('a', 7), StringPosition::none());  // out of range
}

TEST(Strings, FindAnyOfAListOrASet) {
  const String text = u"one, Two; three";
  using Where = std::pair<std::int32_t, std::int32_t>;  // index and number, or -1
  const auto match = [&](Where where) {
    return where.first < 0 ? StringMatch{} : StringMatch{text->makePosition(where.first), where.second};
  };
  // The first match from `start` or, with `last`, the last one ending at or before it, in both case modes.
  const auto check = [&](bool last, const auto& list, std::int32_t start, Where cased, Where folded) {
    EachStart(text, start, [&](auto from) {
      EXPECT_EQ(last ? text->findLastAny(list, from) : text->findAny(list, from), match(cased)) << start;
      EXPECT_EQ(last ? text->findLastAnyNoCase(list, from) : text->findAnyNoCase(list, from), match(folded))
          << start;
    });
  };
  constexpr bool kFirst = false, kLast = true;
  const Where none{-1, -1};
  const char16_t* wide[] = {u";", u"tWo", u"Tw", nullptr};
  check(kFirst, wide, 0, {5, 2}, {5, 1});
  check(kLast, wide, -1, {8, 0}, {8, 0});
  check(kLast, wide, 8, {5, 2}, {5, 1});
  const char* narrow[] = {"", "TW", "two", "T", nullptr};  // an empty text matches nothing; ties go to the first listed
  check(kFirst, narrow, 0, {5, 3}, {5, 1});
  check(kLast, narrow, 15, {5, 3}, {10, 3});
  const P<CConstArray> array = make<CConstArray>();
  array->add(PC<IBase>(make<CConstArray>()));  // no string: matches nothing
  array->add(String(u"e").get());
  array->add(String("T").get());
  check(kFirst, *array, 0, {2, 1}, {2, 1});
  check(kFirst, *array, 6, {13, 1}, {10, 2});
  check(kLast, *array, 15, {14, 1}, {14, 1});
  check(kLast, *array, 12, {5, 2}, {10, 2});
  // Sets: the number found is the member's place in the set.
  EachForm(u"Tw", [&](const auto& set) {
    check(kFirst, set, 0, {5, 0}, {5, 0});
    check(kFirst, set, 7, none, {10, 0});
    check(kLast, set, -1, {6, 1}, {10, 0});
    check(kLast, set, 6, {5, 0}, {5, 0});
  });
}

// Each token in turn, by a separator or (Any) by a list or set, the last call returning the rest, then null.
template <bool Any, class Separator>
std::vector<std::string> Tokens(const String& text, const Separator& separator, bool noCase) {
  std::vector<std::string> tokens;
  StringPosition at{0, 0};
  for (String token; tokens.size() < 10; tokens.push_back(ToUTF8(token))) {
    if constexpr (Any) {
      token = noCase ? text->nextTokenAnyNoCase(at, separator) : text->nextTokenAny(at, separator);
    } else {
      token = noCase ? text->nextTokenNoCase(at, separator) : text->nextToken(at, separator);
    }
    if (token.isNull()) break;
  }
  EXPECT_TRUE(at.isNone());
  return tokens;
}

TEST(Strings, NextTokenSplitsIntoFields) {
  using Fields = std::vector<std::string>;
  for (const String& text : Subjects(u"a, b,, \u20ac, C")) {
    EachForm(u", ", [&](const auto& separator) {
      EXPECT_EQ(Tokens<false>(text, separator, false), (Fields{"a", "b,", EURO, "C"})) << WHERE(text);
    });
    EXPECT_EQ(Tokens<false>(text, CodePoint(','), false), (Fields{"a", " b", "", " " EURO, " C"}));
    EachFormOrCodePoint(u"c", [&](const auto& separator) {
      EXPECT_EQ(Tokens<false>(text, separator, true), (Fields{"a, b,, " EURO ", ", ""}));
      EXPECT_EQ(Tokens<false>(text, separator, false), (Fields{"a, b,, " EURO ", C"}));
    });
    EachFormOrCodePoint(u"C", [&](const auto& separator) {
      EXPECT_EQ(Tokens<false>(text, separator, false), (Fields{"a, b,, " EURO ", ", ""}));
    });
    // Lists and sets, each in both case modes.
    const auto split = [&](const auto& list, const Fields& cased, const Fields& folded) {
      EXPECT_EQ(Tokens<true>(text, list, false), cased) << WHERE(text);
      EXPECT_EQ(Tokens<true>(text, list, true), folded) << WHERE(text);
    };
    const char16_t* wide[] = {u", ", u"C", nullptr};
    split(wide, {"a", "b,", EURO, "", ""}, {"a", "b,", EURO, "", ""});
    const char* narrow[] = {"B", "C", "\x80", nullptr};
    split(narrow, {"a, b,, " EURO ", ", ""}, {"a, ", ",, " EURO ", ", ""});
    const P<CConstArray> array = make<CConstArray>();
    array->add(String("C").get());
    array->add(String(u", ").get());
    split(*array, {"a", "b,", EURO, "", ""}, {"a", "b,", EURO, "", ""});
    EachForm(u"B,", [&](const auto& set) {
      split(set, {"a", " b", "", " " EURO, " C"}, {"a", " ", "", "", " " EURO, " C"});
    });
  }
  StringPosition none = StringPosition::none();
  EXPECT_TRUE(String("a")->nextToken(none, ',').isNull());
}

TEST(Strings, CountAndReplaceOccurrences) {
  struct Row {
    const char16_t *subject, *what, *with;
    std::int32_t count, countNoCase;
    const char *replaced, *replacedNoCase;
  } rows[] = {
      {u"aaaa", u"aa", u"b", 2, 2, "bb", "bb"},
      {u"aAa", u"A", u"\u20ac", 1, 3, "a" EURO "a", EURO EURO EURO},
      {u"keep", u"", u"x", 0, 0, "keep", "keep"},
      {u"%X%", u"%X%", u"%X%%X%", 1, 1, "%X%%X%", "%X%%X%"},  // not rescanned
      {u"\U0001F600x\U0001F600", u"\U0001F600", u"-", 2, 2, "-x-", "-x-"},
  };
  for (const Row& row : rows) {
    for (const String& subject : Subjects(row.subject)) {
      EachFormOrCodePoint(row.what, [&](const auto& what) {
        EXPECT_EQ(subject->count(what), row.count) << WHERE(subject) << " " << ToUTF8(row.what);
        EXPECT_EQ(subject->countNoCase(what), row.countNoCase) << WHERE(subject) << " " << ToUTF8(row.what);
      });
      EXPECT_EQ(ToUTF8(subject->replace(*String(row.what), *String(row.with))), row.replaced);
      EXPECT_EQ(ToUTF8(subject->replaceNoCase(*String(row.what), *String(row.with))), row.replacedNoCase);
    }
  }
  const String text = "Hello HELLO";
  EXPECT_EQ(ToUTF8(text->replace(u"LO", u"p")), "Hello HELp");
  EXPECT_EQ(ToUTF8(text->replaceNoCase(u"LO", u"p")), "Help HELp");
  EXPECT_EQ(ToUTF8(text->replace("L", "l")), "Hello HEllO");
  EXPECT_EQ(ToUTF8(text->replaceNoCase("HeLLo", "")), " ");
  EXPECT_EQ(ToUTF8(text->replace('L', 0x20ac)), "Hello HE" EURO EURO "O");
  EXPECT_EQ(ToUTF8(text->replaceNoCase('L', '_')), "He__o HE__O");
  EXPECT_TRUE(text->replace("x", "y")->hasEncoding(kLatin1EncodingId));
  EXPECT_TRUE(text->replace(u"o", u"\u20ac")->hasEncoding(kUTF16EncodingId));  // converted where it does not fit
}

TEST(Strings, CountAndReplaceAnyOfAListOrASet) {
  const String text = u"abcABCabc";
  const char16_t* wide[] = {u"bC", u"a", nullptr};
  const char* narrow[] = {"AB", "c", nullptr};
  const P<CConstArray> array = make<CConstArray>();
  array->add(String("Ca").get());
  // Counts in both case modes, and the replacement in each text form.
  const auto check = [&](const auto& list, std::int32_t count, std::int32_t countNoCase, const char16_t* with,
                         const char* replaced) {
    EXPECT_EQ(text->countAny(list), count);
    EXPECT_EQ(text->countAnyNoCase(list), countNoCase);
    EachForm(with, [&](const auto& form) { EXPECT_EQ(ToUTF8(text->replaceAny(list, form)), replaced); });
  };
  check(wide, 2, 6, u"_", "_bcABC_bc");
  check(narrow, 3, 6, u"!", "ab!!Cab!");
  check(*array, 1, 2, u"|", "abcAB|bc");
  EachForm(u"cB", [&](const auto& set) {
    check(set, 3, 6, u"\u20ac", "ab" EURO "A" EURO "Cab" EURO);
    EXPECT_EQ(ToUTF8(text->replaceAny(set, "")), "abACab");
  });
  // An empty or a null replacement removes.
  EXPECT_EQ(ToUTF8(text->replaceAny(wide, "")), "bcABCbc");
  EXPECT_EQ(ToUTF8(text->replaceAny(narrow, *String())), "abCab");
}

TEST(Strings, TrimAtEitherEnd) {
  // Trimmed of 'x' at both ends, the left and the right, then of 'X' in either case.
  struct Row {
    const char16_t* subject;
    const char *both, *left, *right, *bothNoCase, *leftNoCase, *rightNoCase;
  } rows[] = {
      {u"xxaxx", "a", "axx", "xxa", "a", "axx", "xxa"}, {u"xxx", "", "", "", "", "", ""},
      {u"", "", "", "", "", "", ""},
      {u"x\u20acx", EURO, EURO "x", "x" EURO, EURO, EURO "x", "x" EURO},
      {u"xXaxX", "XaxX", "XaxX", "xXaxX", "a", "axX", "xXa"},  // x and its other case
  };
  for (const Row& row : rows) {
    for (const String& subject : Subjects(row.subject)) {
      EXPECT_EQ(ToUTF8(subject->trim('x')), row.both) << WHERE(subject);
      EXPECT_EQ(ToUTF8(subject->trimLeft('x')), row.left) << WHERE(subject);
      EXPECT_EQ(ToUTF8(subject->trimRight('x')), row.right) << WHERE(subject);
      EXPECT_EQ(ToUTF8(subject->trimNoCase('X')), row.bothNoCase) << WHERE(subject);
      EXPECT_EQ(ToUTF8(subject->trimLeftNoCase('X')), row.leftNoCase) << WHERE(subject);
      EXPECT_EQ(ToUTF8(subject->trimRightNoCase('X')), row.rightNoCase) << WHERE(subject);
      EXPECT_FALSE(subject->trim('x').isNull());
    }
  }
  const String text = u" \tXa b\u20acX\t";
  EachForm(u"\t x", [&](const auto& set) {
    EXPECT_EQ(ToUTF8(text->trimAny(set)), "Xa b" EURO "X");
    EXPECT_EQ(ToUTF8(text->trimAnyLeft(set)), "Xa b" EURO "X\t");
    EXPECT_EQ(ToUTF8(text->trimAnyRight(set)), " \tXa b" EURO "X");
    EXPECT_EQ(ToUTF8(text->trimAnyNoCase(set)), "a b" EURO);
    EXPECT_EQ(ToUTF8(text->trimAnyLeftNoCase(set)), "a b" EURO "X\t");
    EXPECT_EQ(ToUTF8(text->trimAnyRightNoCase(set)), " \tXa b" EURO);
  });
}

TEST(Strings, SlicesShareTheBytesAndKeepTheParentAlive) {
  String slice;
  {
    const String parent = u"keep me \u20ac";
    slice = parent->slice(parent->makePosition(0), StringPosition::none());
    EXPECT_TRUE(parent->isTerminated());
    EXPECT_FALSE(slice->isTerminated());
    EXPECT_EQ(slice, parent);
    EXPECT_EQ(slice->data(), parent->data());
    EXPECT_EQ(ToUTF8(parent->slice(5, 7)), "me");
    EXPECT_EQ(ToUTF8(parent->slice(5)), "me " EURO);
  }
  const String inner = slice->slice(slice->makePosition(5), slice->makePosition(9));  // a slice of a slice
  slice = nullptr;
  EXPECT_EQ(ToUTF8(inner), "me " EURO);  // ASan reports a use after free here if the parent went
  EXPECT_EQ(inner->byteLength(), 8);
  const String empty = inner->slice(2, 2);
  EXPECT_EQ(empty.length(), 0);
  EXPECT_FALSE(empty.isNull());
  const std::pair<std::int32_t, std::int32_t> emptyRanges[] = {{3, 2}, {0, 5}, {-1, 2}};  // reversed or outside
  for (const auto& [from, to] : emptyRanges) {
    EXPECT_TRUE(inner->slice(from, to).isEmpty()) << from << " " << to;
  }
  EXPECT_TRUE(inner->slice(StringPosition{1, 1}, StringPosition{9, 99}).isEmpty());
}

TEST(Strings, SpliceAndConcatConvertWhenTheTextDoesNotFit) {
  const std::uint32_t beyondUnicode[] = {0x110000, 0};
  // The subject, where and how many characters go, the text put in, and the result's encoding and text.
  const std::tuple<String, std::int32_t, std::int32_t, String, std::uint32_t, const char*> rows[] = {
      {"abcdef", 1, 2, "XY", kLatin1EncodingId, "aXYdef"},
      {"abcdef", 2, -1, u"\u00ff", kLatin1EncodingId, "ab\xc3\xbf"},  // the last Latin-1 character fits
      {"abcdef", 0, 0, u"\u0100", kUTF16EncodingId, "\xc4\x80" "abcdef"},
      {"abc", 1, 99, String(), kLatin1EncodingId, "a"},
      {"abc", 4, 0, "x", kLatin1EncodingId, "abc"},  // no such place: unchanged
      {u"\u20ac!", 1, 1, make<CUTF32String>(beyondUnicode), kUTF32EncodingId, nullptr},
      {In(GetUTF8CharEncoding(), u"a\u20acb"), 1, 1, "-", kUTF8EncodingId, "a-b"},
  };
  for (const auto& [subject, start, count, other, encoding, text] : rows) {
    const String byIndex = subject->splice(start, count, *other);
    for (const String& result : {byIndex, subject->splice(subject->makePosition(start), count, *other)}) {
      EXPECT_TRUE(result->hasEncoding(encoding)) << ToUTF8(result);
      if (text) {
        EXPECT_EQ(ToUTF8(result), text);
      }
      const std::int32_t nulSize = result->getEncoding()->getEncodedSize(0);
      EXPECT_EQ(Bytes(result->data() + result->byteLength(), result->data() + result->byteLength() + nulSize),
                Bytes(static_cast<std::size_t>(nulSize), 0));
    }
  }
  // Each form of the other text, spliced in at an index and at a position, and appended.
  const String text = "ab";
  EachFormOrCodePoint(u"\u00e9", [&](const auto& other) {
    EachStart(text, 1, [&](auto at) { EXPECT_EQ(ToUTF8(text->splice(at, 1, other)), "a\xc3\xa9"); });
    EXPECT_EQ(ToUTF8(text->concat(other)), "ab\xc3\xa9");
    EXPECT_TRUE(text->concat(other)->hasEncoding(kLatin1EncodingId));
  });
  EXPECT_EQ(ToUTF8(text->splice(1, -1, CodePoint(0x1F600))), "a\xf0\x9f\x98\x80");
  EXPECT_EQ(ToUTF8(text->concat("c") + u"d" + "e"), "abcde");
  EXPECT_EQ(ToUTF8(text->concat(*text)), "abab");
}

TEST(Strings, PositionsAndCharacters) {
  const String text = In(GetUTF8CharEncoding(), u"a\u20ac\U0001F600b");
  const StringPosition none = StringPosition::none();
  const std::pair<std::int32_t, StringPosition> made[] = {{-1, none}, {2, {2, 4}}, {4, {4, 9}}, {5, none}};
  for (const auto& [index, position] : made) EXPECT_EQ(text->makePosition(index), position) << index;
  const std::tuple<StringPosition, std::int32_t, StringPosition> moves[] = {
      {{1, 1}, 2, {3, 8}}, {{3, 8}, -3, {0, 0}}, {{3, 8}, 0, {3, 8}}, {{1, 1}, 3, {4, 9}},
      {{3, 8}, 2, none},   {{1, 1}, -2, none},   {none, 1, none}};
  for (const auto& [from, by, to] : moves) EXPECT_EQ(text->movePosition(from, by), to) << from.index << " " << by;

  std::vector<CodePoint> forwards, backwards;
  StringPosition at{0, 0};
  for (CodePoint c; (c = text->nextChar(at)) != 0;) forwards.push_back(c);
  EXPECT_EQ(at, (StringPosition{4, 9}));
  for (CodePoint c; (c = text->previousChar(at)) != 0;) backwards.push_back(c);
  EXPECT_EQ(at, (StringPosition{0, 0}));
  EXPECT_EQ(forwards, (std::vector<CodePoint>{'a', 0x20ac, 0x1F600, 'b'}));
  EXPECT_EQ(backwards, (std::vector<CodePoint>{'b', 0x1F600, 0x20ac, 'a'}));

  // Each character by index and by position, with and without the range tested first; 0 outside.
  for (std::int32_t i : {-1, 0, 1, 2, 3, 4, 99}) {
    const CodePoint c = i >= 0 && i < 4 ? forwards[static_cast<std::size_t>(i)] : 0;
    EachStart(text, i, [&](auto at) {
      EXPECT_EQ(text->charAt(at), c) << i;
      EXPECT_EQ(text->charAt(at, RangeTested::kYes), c) << i;
    });
  }
  EXPECT_EQ(text->charAt(StringPosition{-1, 0}, RangeTested::kYes), 0u);
  EXPECT_EQ(text->charAt(StringPosition{4, 8}, RangeTested::kYes), 0u);
}

TEST(Strings, CodePageStringsRefuseToWorkBackwards) {
  const std::uint8_t bytes[] = "abcab";
  const String text = make<CCPString>(bytes);
  EXPECT_EQ(text->find("ab", 1).index, 3);  // forwards works
  StringPosition end = text->makePosition(5);
  const char* list[] = {"a", nullptr};
  EXPECT_THROW(text->findLast("ab"), CMethodNotImplementedError);
  EXPECT_THROW(text->findLastAny(list), CMethodNotImplementedError);
  EXPECT_THROW(text->previousChar(end), CMethodNotImplementedError);
  EXPECT_THROW(text->movePosition(end, -1), CMethodNotImplementedError);
}

TEST(Strings, HashAndCaseMapping) {
  // The code points mixed in one by one: odd and even lengths, an astral character on either side of a
  // pair of units, the smallest three-byte UTF-8 character, a unit that looks like ASCII (U+10041),
  // a lone surrogate (UTF-16 only).
  const std::pair<const char16_t*, bool> texts[] = {
      {u"", true}, {u"settings.general.language", true}, {u"settings.general.languages", true},
      {u"ab\U0001F600cdefg", true}, {u"abc\U0001F600defg\u00e9", true}, {u"a\U0001F600\u0800\U00010041", true},
      {u"abcd\xD800" "efgh", false}};
  for (const auto& [text, everyEncoding] : texts) {
    const String utf16(text);
    std::uint32_t expected = 0;
    for (StringPosition at{0, 0}; CodePoint c = utf16->nextChar(at);) {
      expected = ((expected & 0x0FFFFFFF) << 3) ^ (((expected >> 2) ^ c) & 0x7FFFFFFF);
    }
    for (const String& subject : everyEncoding ? Subjects(text) : std::vector<String>{utf16}) {
      EXPECT_EQ(subject->hashCode(), expected) << WHERE(subject);
    }
  }
  for (const String& subject : Subjects(u"Gr\u00d7 x")) {
    const String lower = subject->toLowerCase(), upper = subject->toUpperCase();
    EXPECT_EQ(ToUTF8(lower), "gr\xc3\x97 x");
    EXPECT_EQ(ToUTF8(upper), "GR\xc3\x97 X");
    EXPECT_EQ(lower->getEncodingId(), subject->getEncodingId());
  }
}

// Paths that read bytes directly give what the decoded characters give, also over broken or unusual UTF-8
// (C1 xx decodes) and where a mapped character needs more room or another encoding.
TEST(Strings, ByteLevelPathsAgreeWithTheDecodedText) {
  const auto utf8 = [](const std::string& bytes) {
    return String(make<CUTF8String>(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                    static_cast<std::int32_t>(bytes.size())));
  };
  const std::string run(20, 'a');
  const std::tuple<String, const char16_t*, StringPosition> finds[] = {
      {utf8("a\xff" "b"), u"ab", {0, 0}},  // the broken byte between is skipped
      {utf8(run + "\xc1\x81"), u"A", {20, 20}},
      {utf8("\xe2" EURO), u"\u20ac", {0, 1}},
      {utf8(run + "\xc3\xa9xyz" + run), u"xyz", {21, 22}},
      {utf8("\xc3\xa9" + run + "xyz"), u"xyz", {21, 22}},
      {utf8(run + "\xc3\xa9xy"), u"xyz", StringPosition::none()},
      {String((run + "\xe9xyz").c_str()), u"\u00e9xy", {20, 20}},
  };
  for (const auto& [subject, needle, at] : finds) EXPECT_EQ(subject->find(needle), at) << WHERE(subject);

  // Equal bytes are passed over in one go; the comparison resumes where both texts start a character.
  const std::u16string wrun(20, u'a');
  const std::string longer(300, 'a');
  const auto latin1 = [](const std::string& text) { return String(text.c_str()); };
  const auto utf16 = [](const std::u16string& text) { return String(text.c_str()); };
  const auto utf32 = [](const char16_t* text) { return In(GetUTF32CharEncoding(), text); };
  // Both texts, the most characters compared, and the result in either case mode.
  const std::tuple<String, String, std::int32_t, std::int32_t, std::int32_t> compares[] = {
      {utf8(run + "\xff" "b"), utf16(wrun + u"b"), -1, 0, 0},
      {utf8(run + "\xc1\x81"), utf16(wrun + u"a"), -1, -1, 0},
      {utf8(run + "b"), utf16(wrun + u"c"), 20, 0, 0},
      {utf8(run + "b"), utf16(wrun + u"c"), 21, -1, -1},
      {utf8(run + "\xf0\x9f\x98\x80" + run), utf16(std::u16string(20, u'A') + u"\U0001F600" + std::u16string(20, u'A')),
       -1, 1, 0},
      {latin1(run + "\xe9" + run), utf16(wrun + u"\u00c9"), -1, 1, 1},
      {utf16(wrun + u"\xD83Dz"), utf8(run + "z"), -1, 0, 0},
      // Code points decide, not units: U+E000 orders before a surrogate pair.
      {utf8(run + "\xee\x80\x80" + run), utf16(wrun + u"\U0001F600" + wrun), -1, -1, -1},
      {utf8("a" EURO), utf8("a\xe2\x82"), -1, 1, 1},  // the cut character is no character
      {utf8("\xc3\xa9"), utf8("\xc3\xa8"), -1, 1, 1},
      {utf8("\x80" "a"), utf8("\x81" "a"), -1, 0, 0},  // stray continuation bytes, skipped
      {u"x\U0001F600", u"x\xD83D", -1, 1, 1},  // a lone high surrogate is skipped
      {u"x\xD83Dy", u"x\xD83Dz", 1, 0, 0},
      {u"x\xD83Dy", u"x\xD83Dz", 2, -1, -1},
      {u"\xDC00x", u"\xDD00x", -1, 0, 0},  // lone low surrogates, skipped
      {latin1(longer + "b"), latin1(longer + "c"), -1, -1, -1},
      {latin1(longer + "b"), latin1(longer + "c"), 300, 0, 0},
      {utf32(u"ab\U0001F600"), utf32(u"ab\U0001F601"), -1, -1, -1},
      {utf32(u"abc"), utf32(u"abd"), 2, 0, 0},
  };
  for (const auto& [left, right, max, result, resultNoCase] : compares) {
    EXPECT_EQ(left->compare(*right, 0, max), result) << WHERE(left) << " " << ToUTF8(right);
    EXPECT_EQ(right->compare(*left, 0, max), -result) << WHERE(right);
    EXPECT_EQ(left->compareNoCase(*right, 0, max), resultNoCase) << WHERE(left);
  }

  EXPECT_EQ(utf8("a\xff\xc3\xa9")->hashCode(), String(u"a\u00e9")->hashCode());
  // The subject, upper (or lower) case, the mapped text and its encoding.
  const std::tuple<String, bool, std::string, std::uint32_t> mappings[] = {
      {utf8("A\xff" "B\xc4\xb0"), false, "abi", kUTF8EncodingId},       // broken byte dropped, U+0130 shrinks
      {utf8(run + "\xc8\xba"), false, run + "\xe2\xb1\xa5", kUTF8EncodingId},  // U+023A grows to U+2C65
      {String("\xff\xb5x"), true, "\xc5\xb8\xce\x9cX", kUTF16EncodingId},     // beyond Latin-1
      {String(u"\u023a\U00010428"), true, "\xc8\xba\xf0\x90\x90\x80", kUTF16EncodingId},
  };
  for (const auto& [subject, upper, text, encoding] : mappings) {
    const String mapped = upper ? subject->toUpperCase() : subject->toLowerCase();
    EXPECT_EQ(ToUTF8(mapped), text) << WHERE(subject);
    EXPECT_EQ(mapped->getEncodingId(), encoding) << WHERE(subject);
    const String recounted = make<CString>(mapped->data(), mapped->byteLength(), -1, false, mapped->getEncoding());
    EXPECT_EQ(mapped->length(), recounted->length()) << WHERE(subject);
  }
}

TEST(Strings, CollateInTheProcessLocale) {
  test::ScopedLocale locale("C.UTF-8");
  const String b = In(GetUTF8CharEncoding(), u"b\u00e9");
  EachForm(u"a\u00e9", [&](const auto& other) { EXPECT_GT(b->collate(other), 0); });
  EachForm(u"c", [&](const auto& other) { EXPECT_LT(b->collate(other, b->makePosition(0)), 0); });
  EachForm(u"\u00e9", [&](const auto& other) {
    EachStart(b, 1, [&](auto at) { EXPECT_EQ(b->collate(other, at), 0); });
  });
}

TEST(Strings, ParseIntegers) {
  // The text, the base, the value and the characters it takes; none taken: refused.
  const std::tuple<const char16_t*, std::int32_t, std::int32_t, std::int32_t> rows[] = {
      {u"1f", 16, 31, 2},          {u"0x1F", 16, 0, 1},  // the x stops the digits
      {u"-5", 10, 0, 0},           {u"", 10, 0, 0},
      {u"Zz", 36, 1295, 2},        {u"129", 2, 1, 1},
      {u"4294967297", 10, 1, 10},  // 32-bit arithmetic, no overflow test
      {u" 1", 10, 0, 0},           {u"7\u0661", 10, 7, 1},
  };
  for (const auto& [text, base, value, taken] : rows) {
    std::int32_t consumed = -1;
    if (taken == 0) {
      EXPECT_THROW(parseIntPrefix(text, base, consumed), CParseError) << ToUTF8(text);
      continue;
    }
    EXPECT_EQ(parseIntPrefix(text, base, consumed), value) << ToUTF8(text);
    EXPECT_EQ(consumed, taken) << ToUTF8(text);
    if (taken == String(text).length()) {
      EXPECT_EQ(parseInt(text, base), value);
    } else {
      EXPECT_THROW(parseInt(text, base), CParseError) << ToUTF8(text);
    }
  }
}

TEST(StringEngine, FitsInEncodingAtTheBoundaries) {
  const std::tuple<const P<ICharEncoding>&, CodePoint, bool> rows[] = {
      {GetLatin1CharEncoding(), 0xFF, true},    {GetLatin1CharEncoding(), 0x100, false},
      {GetUTF16CharEncoding(), 0xD7FF, true},   {GetUTF16CharEncoding(), 0xD800, false},
      {GetUTF16CharEncoding(), 0x10FFFF, true}, {GetUTF16CharEncoding(), 0x110000, false},
      {GetUTF8CharEncoding(), 0x110000, false}, {GetUTF32CharEncoding(), 0xFFFFFFFF, true},
  };
  for (const auto& [encoding, c, fits] : rows) {
    EXPECT_EQ(detail::Fits(*encoding, c), fits) << encoding->getName() << " " << c;
  }
}

// Each code point with its start and end offsets, as a reader hands them out.
template <class Reader>
std::vector<std::pair<CodePoint, std::int32_t>> ReadAll(Reader&& reader) {
  std::vector<std::pair<CodePoint, std::int32_t>> out;
  for (CodePoint c; reader.next(c);) out.emplace_back(c, reader.lastStart());
  EXPECT_EQ(reader.consumed(), static_cast<std::int32_t>(out.size()));
  return out;
}

// Blocks of 16 code points, in both directions, within bounds, against the single-step lenient decoder.
TEST(StringEngine, ReaderHandsOutEveryCodePointAcrossBlocks) {
  std::u16string text;
  for (int i = 0; i < 20; ++i) text += i % 3 ? u"a\u00e9" : u"\U0001F600";
  const detail::TextView view(text.c_str());
  std::vector<std::pair<CodePoint, std::int32_t>> single;
  CodePoint c;
  for (std::int32_t at = 0, next; (next = view.encoding.decodeNextChar(c, view.bytes, view.size, at)) >= 0; at = next) {
    single.emplace_back(c, at);
  }
  ASSERT_EQ(view.chars, static_cast<std::int32_t>(single.size()));
  EXPECT_EQ(ReadAll(detail::TextReader(view)), single);
  // Backwards from the start of the last character down to the third one.
  const auto backwards =
      ReadAll(detail::BackwardTextReader(view.bytes, view.size, view.encoding, single.back().second, single[2].second));
  EXPECT_EQ(backwards, decltype(single)(single.rbegin() + 1, single.rend() - 2));
  EXPECT_EQ(ReadAll(detail::BackwardTextReader(view)), decltype(single)(single.rbegin(), single.rend()));
  // Trailing bytes that start no character end the text.
  const std::uint8_t cut[] = {0x41, 0x80};
  EXPECT_EQ(ReadAll(detail::TextReader(cut, 2, *GetUTF8CharEncoding(), 0, 2)), decltype(single)({{0x41, 0}}));
  EXPECT_EQ(detail::TextView(static_cast<const char*>(nullptr)).chars, 0);
}

// UTF-8 against UTF-16 over texts long enough for whole windows and groups of units, with characters of every
// length, the C1 forms the reader takes, an encoded surrogate and broken bytes, one character changed at each
// place: the same order as the same code points held as UTF-32.
TEST(Strings, CompareUTF8AgainstUTF16AcrossWindows) {
  const std::vector<std::string> forms = {"ab",         "\xc3\xb6",     "\xe6\x97\xa5", "\xf0\x9f\x98\x80",
                                          "\xc1\x81", "\xed\x9f\xbf", "\xed\xa0\x80", "\x80",
                                          "\xe2\x82"};
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    std::string text;
    // Every fourth text is long and of one-unit characters only, so that groups of units run on.
    const bool blocks = round % 4 == 2;
    const std::size_t length = blocks ? 520 + random() % 200 : 120;
    while (text.size() < length) text += forms[random() % (blocks ? 3 : round % 2 ? forms.size() : 6)];
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const String utf8 = make<CUTF8String>(bytes, static_cast<std::int32_t>(text.size()));
    std::vector<std::uint32_t> chars;
    CodePoint c;
    for (std::int32_t at = 0; (at = GetUTF8CharEncoding()->decodeNextChar(c, bytes, utf8->byteLength(), at)) >= 0;) {
      chars.push_back(c);
    }
    const String utf32 = make<CUTF32String>(chars.data(), static_cast<std::int32_t>(4 * chars.size()));
    for (std::size_t changed = 0; changed <= chars.size() + 1; ++changed) {
      std::vector<std::uint32_t> others = chars;
      if (changed < others.size() && (others[changed] < 0xD800 || others[changed] > 0xDFFF)) others[changed] ^= 1;
      if (changed == others.size() + 1) others.pop_back();
      std::u16string units;
      for (const std::uint32_t o : others) {
        if (o < 0x10000) {
          units.push_back(static_cast<char16_t>(o));
        } else {
          units.push_back(static_cast<char16_t>(0xD7C0 + (o >> 10)));
          units.push_back(static_cast<char16_t>(0xDC00 | (o & 0x3FF)));
        }
      }
      if (changed == others.size()) units += u"z";
      const String utf16(units.c_str());
      SCOPED_TRACE(testing::Message() << text.size() << " bytes, changed " << changed);
      const std::int32_t order = utf32->compare(*utf16);
      EXPECT_EQ(utf8->compare(*utf16), order);
      EXPECT_EQ(utf16->compare(*utf8), -order);
    }
  }
}

// Calls through the concrete class take its own default arguments: they must be the interface's.
TEST(Strings, ConcreteClassDefaultsAreTheInterfaces) {
  const P<CString> subject = make<CWCharString>(u"abAB");
  const CString& c = *subject;
  const IString& i = c;
#define SAME(call) EXPECT_EQ(c.call, i.call) << #call
  EachForm(u"abAB", [&](const auto& whole) {
    SAME(compare(whole));
    SAME(compareNoCase(whole));
    SAME(collate(whole));
    SAME(matchesAt(whole));
    SAME(matchesAtNoCase(whole));
  });
  const auto each = [&](const auto& ab) {  // a text, a set or a list
    SAME(findAny(ab));
    SAME(findAnyNoCase(ab));
    SAME(findLastAny(ab));
    SAME(findLastAnyNoCase(ab));
  };
  EachForm(u"ab", [&](const auto& ab) {
    each(ab);
    SAME(startsWith(ab));
    SAME(startsWithNoCase(ab));
  });
  EachFormOrCodePoint(u"a", [&](const auto& a) {
    SAME(find(a));
    SAME(findNoCase(a));
    SAME(findLast(a));
    SAME(findLastNoCase(a));
  });
  const char16_t* wide[] = {u"ab", nullptr};
  const char* narrow[] = {"ab", nullptr};
  const P<CConstArray> array = make<CConstArray>();
  array->add(String(u"ab").get());
  each(wide);
  each(narrow);
  each(*array);
  SAME(slice(1));
#undef SAME
}

}  // namespace
}  // namespace lumo
