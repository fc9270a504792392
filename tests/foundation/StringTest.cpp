// The string operations the object model and the errors rely on: null versus
// empty, construction modes, comparison across encodings, concatenation and
// placeholder replacement.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "FoundationTestSupport.h"
#include "foundation/CString.h"
#include "foundation/String.h"
#include "foundation/StringEngine.h"

namespace lumo {
namespace {

using test::Bytes;

TEST(Strings, NullDiffersFromEmpty) {
  const String null;
  EXPECT_TRUE(null.isNull());
  EXPECT_TRUE(null.isEmpty());
  EXPECT_EQ(null.length(), 0);
  EXPECT_FALSE(String("").isNull());
  EXPECT_TRUE(String(static_cast<const char*>(nullptr)).isNull());
  EXPECT_EQ(make<CLatin1String>(static_cast<const char*>(nullptr), 5)->byteLength(), 0);  // no text, no bytes
  EXPECT_TRUE(String(P<IString>()).isNull());
  EXPECT_TRUE((TNullString<char16_t, CWCharString>::instance()->isNull()));
  EXPECT_TRUE((TNullString<std::uint8_t, CCPString>::instance()->isTerminated()));
  EXPECT_EQ(null, String(""));  // equal text, still told apart by isNull
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
  const P<CWCharString> adopted =
      make<CWCharString>(reinterpret_cast<char16_t*>(owned), 4, -1, StringMode::kAdopt);
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

TEST(Strings, ComparisonIsByCodePointsAcrossEncodings) {
  const std::uint8_t utf8[] = "gr\xc3\xbc\xc3\x9f";
  const String fromUTF8 = make<CUTF8String>(utf8);
  const String fromUTF16 = u"gr\u00fc\u00df";
  EXPECT_EQ(fromUTF8->compare(*fromUTF16, 0, -1), 0);
  EXPECT_EQ(fromUTF8->compareTo(*fromUTF16), 0);
  EXPECT_EQ(String("abc")->compare(*String("abcd"), 0, -1), -1);
  EXPECT_EQ(String("abcd")->compare(*String("abc"), 0, -1), 1);
  EXPECT_EQ(String("abcd")->compare(*String("cd"), 2, -1), 0);
  EXPECT_EQ(String("abcd")->compare(*String("abXX"), 0, 2), 0);
  EXPECT_EQ(String("abc")->compare(*String("abd"), 0, -1), -1);
  EXPECT_EQ(String("abc")->compareTo(*GetUTF8CharEncoding().get()->describe()), -1);
}

TEST(Strings, ConcatenationKeepsTheEncodingWhenEverythingFits) {
  const std::uint32_t beyondUnicode[] = {0x110000, 0};
  struct Row {
    String left, right;
    std::uint32_t encoding;
    std::int32_t length;
  } rows[] = {
      {"caf", u"\u00ff", kLatin1EncodingId, 4},  // the last Latin-1 character fits
      {"caf", u"\u0100", kUTF16EncodingId, 4},   // the first one beyond does not
      {"price: ", u"5 \u20ac", kUTF16EncodingId, 10},
      {u"x", make<CUTF32String>(beyondUnicode), kUTF32EncodingId, 2},
      {u"\U0001F600", "!", kUTF16EncodingId, 2},
      {"a", String(), kLatin1EncodingId, 1},
  };
  for (const Row& row : rows) {
    const String joined = row.left + row.right;
    EXPECT_TRUE(joined->hasEncoding(row.encoding)) << ToUTF8(joined);
    EXPECT_EQ(joined.length(), row.length);
    const std::int32_t nulSize = joined->getEncoding()->getEncodedSize(0);
    EXPECT_EQ(Bytes(joined->data() + joined->byteLength(), joined->data() + joined->byteLength() + nulSize),
              Bytes(static_cast<std::size_t>(nulSize), 0));
    EXPECT_EQ(ToUTF8(joined), ToUTF8(row.left) + ToUTF8(row.right));
  }
}

TEST(StringEngine, FitsInEncodingAtTheBoundaries) {
  struct Row {
    const P<ICharEncoding>& encoding;
    CodePoint c;
    bool fits;
  } rows[] = {
      {GetLatin1CharEncoding(), 0xFF, true},    {GetLatin1CharEncoding(), 0x100, false},
      {GetUTF16CharEncoding(), 0xD7FF, true},   {GetUTF16CharEncoding(), 0xD800, false},
      {GetUTF16CharEncoding(), 0x10FFFF, true}, {GetUTF16CharEncoding(), 0x110000, false},
      {GetUTF8CharEncoding(), 0x110000, false}, {GetUTF32CharEncoding(), 0xFFFFFFFF, true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(detail::Fits(*row.encoding, row.c), row.fits) << row.encoding->getName() << " " << row.c;
  }
}

// Blocks of 16 code points, both directions, within bounds, against the
// single-step lenient decoder.
// Each code point with its start offset, as a reader hands them out.
template <class Reader>
std::vector<std::pair<CodePoint, std::int32_t>> ReadAll(Reader&& reader) {
  std::vector<std::pair<CodePoint, std::int32_t>> out;
  for (CodePoint c; reader.next(c);) out.emplace_back(c, reader.lastStart());
  EXPECT_EQ(reader.consumed(), static_cast<std::int32_t>(out.size()));
  return out;
}

// Blocks of 16 code points, in both directions, within bounds, against the
// single-step lenient decoder.
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

TEST(Strings, ReplaceEveryOccurrenceLeftToRight) {
  EXPECT_EQ(ToUTF8(String("%A% and %A%").replace("%A%", "x")), "x and x");
  EXPECT_EQ(ToUTF8(String("aaa").replace("aa", "b")), "ba");
  EXPECT_EQ(ToUTF8(String("no placeholder").replace("%A%", "x")), "no placeholder");
  EXPECT_EQ(ToUTF8(String("keep").replace("", "x")), "keep");
  EXPECT_EQ(ToUTF8(String("%X%").replace("%X%", "%X%%X%")), "%X%%X%");  // not rescanned
  const String wide = String("file '%F%'").replace("%F%", u"\u0444.txt");
  EXPECT_EQ(ToUTF8(wide), "file '\xd1\x84.txt'");
}

}  // namespace
}  // namespace lumo
