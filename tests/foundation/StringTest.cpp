// The string operations the object model and the errors rely on: null versus
// empty, construction modes, comparison across encodings, concatenation and
// placeholder replacement.

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "FoundationTestSupport.h"
#include "foundation/CString.h"
#include "foundation/String.h"

namespace lumo {
namespace {

TEST(Strings, NullDiffersFromEmpty) {
  const String null;
  EXPECT_TRUE(null.isNull());
  EXPECT_TRUE(null.isEmpty());
  EXPECT_EQ(null.length(), 0);
  EXPECT_FALSE(String("").isNull());
  EXPECT_TRUE(String(static_cast<const char*>(nullptr)).isNull());
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
  const String latin = String("caf") + u"\u00e9";
  EXPECT_TRUE(latin->hasEncoding(kLatin1EncodingId));
  EXPECT_EQ(ToUTF8(latin), "caf\xc3\xa9");
  const String widened = String("price: ") + u"5 \u20ac";
  EXPECT_TRUE(widened->hasEncoding(kUTF16EncodingId));
  EXPECT_EQ(ToUTF8(widened), "price: 5 \xe2\x82\xac");
  const String astral = String(u"x") + String(make<CUTF32String>(std::array<std::uint32_t, 2>{0x110000, 0}.data()));
  EXPECT_TRUE(astral->hasEncoding(kUTF32EncodingId));
  EXPECT_EQ(astral.length(), 2);
  EXPECT_TRUE((String("a") + String()).get()->isTerminated());
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
