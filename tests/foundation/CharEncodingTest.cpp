// The five encodings: strict forms at their boundaries, block and counting fast paths, lenient walks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <utility>
#include <string>
#include <tuple>
#include <vector>

#include "FoundationTestSupport.h"
#include "foundation/Exception.h"
#include "foundation/ICharEncoding.h"

namespace lumo {
namespace {

using test::Bytes;

const ICharEncoding& Latin1() { return *GetLatin1CharEncoding(); }
const ICharEncoding& UTF8() { return *GetUTF8CharEncoding(); }
const ICharEncoding& UTF16() { return *GetUTF16CharEncoding(); }
const ICharEncoding& UTF32() { return *GetUTF32CharEncoding(); }
const ICharEncoding& CodePage() { return *GetCPCharEncoding(); }

std::int32_t Size(const Bytes& bytes) { return static_cast<std::int32_t>(bytes.size()); }

TEST(CharEncodings, SizesAndDirection) {
  // The terminated size is of the bytes 41 00 42 00 00 00 00 00: the NUL is counted in units.
  const std::tuple<const ICharEncoding&, std::int32_t, bool, std::int32_t> rows[] = {
      {Latin1(), 1, true, 1}, {UTF8(), 4, true, 1}, {UTF16(), 4, true, 4}, {UTF32(), 4, true, 4},
      {CodePage(), static_cast<std::int32_t>(MB_CUR_MAX), false, 1},
  };
  const Bytes text = {0x41, 0x00, 0x42, 0x00, 0x00, 0x00, 0x00, 0x00};
  for (const auto& [encoding, maxSize, backwards, terminatedSize] : rows) {
    SCOPED_TRACE(encoding.getName());
    EXPECT_EQ(encoding.getMaxCharSize(), maxSize);
    EXPECT_EQ(encoding.canDecodeBackwards(), backwards);
    EXPECT_EQ(encoding.getTerminatedSize(text.data()), terminatedSize);
  }
}

constexpr std::int32_t kInvalid = -1;

struct DecodeCase {
  const ICharEncoding& encoding;
  Bytes bytes;
  std::int64_t expected;  // code point, or kInvalid
  std::int32_t size;      // bytes of the character when valid
};

std::string Describe(const DecodeCase& row) {
  return testing::PrintToString(row.bytes) + " in " + row.encoding.getName();
}

std::vector<DecodeCase> DecodeCases() {
  return {
      // UTF-8: first and last sequence of each length.
      {UTF8(), {0x00}, 0x00, 1}, {UTF8(), {0x7F}, 0x7F, 1}, {UTF8(), {0xC2, 0x80}, 0x80, 2},
      {UTF8(), {0xDF, 0xBF}, 0x7FF, 2}, {UTF8(), {0xE0, 0xA0, 0x80}, 0x800, 3},
      {UTF8(), {0xEF, 0xBF, 0xBF}, 0xFFFF, 3}, {UTF8(), {0xF0, 0x90, 0x80, 0x80}, 0x10000, 4},
      {UTF8(), {0xF4, 0x8F, 0xBF, 0xBF}, 0x10FFFF, 4},
      // UTF-8: overlong forms (only C1 of the two-byte ones is let through), out of range, impossible leads.
      {UTF8(), {0xC0, 0x80}, kInvalid, 0}, {UTF8(), {0xC1, 0x81}, 0x41, 2}, {UTF8(), {0xFF}, kInvalid, 0},
      {UTF8(), {0xE0, 0x9F, 0xBF}, kInvalid, 0}, {UTF8(), {0xF0, 0x8F, 0xBF, 0xBF}, kInvalid, 0},
      {UTF8(), {0xF4, 0x90, 0x80, 0x80}, kInvalid, 0}, {UTF8(), {0xF5, 0x80, 0x80, 0x80}, kInvalid, 0},
      // UTF-8: unexpected continuation, truncation, bad continuation (each valid row is also read cut by a
      // byte); surrogate code points are accepted.
      {UTF8(), {0x80}, kInvalid, 0}, {UTF8(), {0xF0, 0x90, 0x80}, kInvalid, 0},
      {UTF8(), {0xE0, 0xA0, 0x41}, kInvalid, 0}, {UTF8(), {0xED, 0xA0, 0x80}, 0xD800, 3},
      // UTF-16 (little-endian units).
      {UTF16(), {0x41, 0x00}, 0x41, 2}, {UTF16(), {0xFF, 0xFF}, 0xFFFF, 2},
      {UTF16(), {0x00, 0xD8, 0x00, 0xDC}, 0x10000, 4}, {UTF16(), {0xFF, 0xDB, 0xFF, 0xDF}, 0x10FFFF, 4},
      {UTF16(), {0x00, 0xDC, 0x41, 0x00}, kInvalid, 0}, {UTF16(), {0x00, 0xD8, 0x41, 0x00}, kInvalid, 0},
      {UTF16(), {0x00, 0xD8}, kInvalid, 0}, {UTF16(), {0x41}, kInvalid, 0},
      // UTF-32: no range check at all. Latin-1: every byte is its code point.
      {UTF32(), {0x01, 0x02, 0x03, 0x04}, 0x04030201, 4}, {UTF32(), {0x41, 0x00, 0x00}, kInvalid, 0},
      {Latin1(), {0xE9}, 0xE9, 1}, {Latin1(), {}, kInvalid, 0},
  };
}

// The characters and their start offsets from `from` on: by lenient single
// steps, or by blocks of `block` (backwards: down from `from`, put in order).
using Walked = std::vector<std::pair<CodePoint, std::int32_t>>;
Walked Steps(const ICharEncoding& encoding, const Bytes& text, std::int32_t from) {
  Walked out;
  CodePoint c = 0;
  for (std::int32_t at = from, end; (end = encoding.decodeNextChar(c, text.data(), Size(text), at)) >= 0; at = end) {
    out.emplace_back(c, encoding.findCharStart(text.data(), Size(text), at));
  }
  return out;
}
Walked Blocks(const ICharEncoding& encoding, const Bytes& text, std::int32_t from, std::int32_t block,
              bool backwards = false) {
  Walked out;
  std::vector<CodePoint> chars(static_cast<std::size_t>(block), 0xCCCCCCCC);
  std::vector<std::int32_t> starts(static_cast<std::size_t>(block) + 1, -2);  // the last one is never written
  for (std::int32_t at = from, count = 1; count > 0;) {
    const auto walk = backwards ? &ICharEncoding::decodeCharsBackwards : &ICharEncoding::decodeChars;
    const std::int32_t end = (encoding.*walk)(chars.data(), block, count, text.data(), Size(text), at, starts.data());
    for (std::int32_t i = 0; i < count; ++i) out.emplace_back(chars[i], starts[i]);
    EXPECT_EQ(starts[static_cast<std::size_t>(block)], -2);
    // Forwards the end offset is behind the last character decoded.
    if (count > 0 && !backwards) {
      EXPECT_EQ(encoding.getCharSizeAt(text.data(), Size(text), starts[count - 1]), end - starts[count - 1]);
    }
    at = end;
  }
  if (backwards) std::reverse(out.begin(), out.end());
  return out;
}

TEST(CharEncodings, StrictDecodingAtTheBoundaries) {
  for (const DecodeCase& row : DecodeCases()) {
    SCOPED_TRACE(Describe(row));
    const std::uint8_t* data = row.bytes.data();
    CodePoint c = 0xCCCCCCCC;
    const std::int32_t end = row.encoding.decodeCharAt(c, data, Size(row.bytes), 0);
    if (row.expected == kInvalid) {
      EXPECT_EQ(end, -1);
      EXPECT_EQ(row.encoding.getCharSizeAt(data, Size(row.bytes), 0), -1);
      continue;
    }
    EXPECT_EQ(end, row.size);
    EXPECT_EQ(c, static_cast<CodePoint>(row.expected));
    EXPECT_EQ(row.encoding.getCharSizeAt(data, Size(row.bytes), 0), row.size);
    // Every valid form but C1 xx (read, never written) encodes back to its bytes.
    if (row.bytes[0] != 0xC1) {
      std::uint8_t out[4] = {};
      EXPECT_EQ(row.encoding.getEncodedSize(c), row.size);
      EXPECT_EQ(row.encoding.encodeChar(c, out, 4, 0), row.size);
      EXPECT_EQ(Bytes(out, out + row.size), row.bytes);
    }
    // The same character read backwards from its end.
    CodePoint back = 0xCCCCCCCC;
    EXPECT_EQ(row.encoding.decodePreviousCharAt(back, data, row.size, row.size), 0);
    EXPECT_EQ(back, static_cast<CodePoint>(row.expected));
    // And with one byte less it is incomplete.
    EXPECT_EQ(row.encoding.decodeCharAt(c, data, row.size - 1, 0), -1);
  }
}

// Blocks of several sizes forwards and backwards, and counts, from the start
// and from `inside`, against single steps.
void ExpectWalksAgree(const ICharEncoding& encoding, const Bytes& text, std::int32_t inside) {
  for (const std::int32_t from : {0, inside}) {
    const Walked steps = Steps(encoding, text, from);
    EXPECT_EQ(Blocks(encoding, text, from, 16), steps) << from;
    EXPECT_EQ(Blocks(encoding, text, from, 5), steps) << from;
    EXPECT_EQ(encoding.countChars(text.data(), Size(text), from), std::ssize(steps)) << from;
  }
  const Walked all = Steps(encoding, text, 0);
  const std::int32_t last = all.back().second;
  const std::int32_t end = last + encoding.getCharSizeAt(text.data(), Size(text), last);
  EXPECT_EQ(Blocks(encoding, text, end, 7, true), all);
}

TEST(CharEncodings, BlocksAndCountsInsideLongTextReadWhatSingleStepsRead) {
  Bytes allUTF8;
  for (const DecodeCase& row : DecodeCases()) {
    SCOPED_TRACE(Describe(row));
    // The case at every place of a 16-byte stretch, between ASCII letters.
    for (std::int32_t shift = 0; shift < 20; shift += row.encoding.getId() == kUTF16EncodingId ? 2 : 1) {
      SCOPED_TRACE(shift);
      Bytes text(static_cast<std::size_t>(shift), 'a');
      text.insert(text.end(), row.bytes.begin(), row.bytes.end());
      text.insert(text.end(), 40, 'z');
      ExpectWalksAgree(row.encoding, text, shift + 1);
    }
    if (&row.encoding == &UTF8()) allUTF8.insert(allUTF8.end(), row.bytes.begin(), row.bytes.end());
  }
  // All the UTF-8 cases, valid and not, one after the other.
  allUTF8.insert(allUTF8.end(), 20, 'z');
  ExpectWalksAgree(UTF8(), allUTF8, 7);
}

TEST(CharEncodings, EncodingLimitsAndRoom) {
  // The code point, the room for it, and the bytes written (none: the offset stays).
  const std::tuple<const ICharEncoding&, CodePoint, std::int32_t, Bytes> rows[] = {
      {UTF8(), 0x110000, 8, {}},  {UTF8(), 0x800, 2, {}},    {UTF16(), 0xD800, 4, {}},
      {UTF16(), 0x110000, 4, {}}, {UTF16(), 0x10000, 3, {}}, {UTF32(), 0x110000, 4, {0x00, 0x00, 0x11, 0x00}},
      {UTF32(), 0x41, 3, {}},     {Latin1(), 0x20AC, 1, {'?'}}, {Latin1(), 0x41, 0, {}},
  };
  for (const auto& [encoding, c, room, written] : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << c << " in " << encoding.getName());
    // The bytes go in behind the first; nothing else of the buffer changes.
    Bytes buffer(8, 0xCC), expected(8, 0xCC);
    std::copy(written.begin(), written.end(), expected.begin() + 1);
    EXPECT_EQ(encoding.encodeChar(c, buffer.data(), 1 + room, 1), 1 + Size(written));
    EXPECT_EQ(buffer, expected);
  }
  EXPECT_EQ(UTF8().getEncodedSize(0x110000), 0);
  EXPECT_EQ(UTF16().getEncodedSize(0xDFFF), 0);
  EXPECT_EQ(Latin1().getEncodedSize(0x20AC), 1);
  EXPECT_EQ(UTF32().getEncodedSize(0xFFFFFFFF), 4);
}

TEST(CharEncodings, LenientWalksSkipInvalidBytesWithoutCountingThem) {
  const Bytes utf8 = {0x41, 0x80, 0xFF, 0x42};
  EXPECT_EQ(UTF8().findCharStart(utf8.data(), 3, 1), -1);
  CodePoint c = 0;
  EXPECT_EQ(UTF8().decodeNextChar(c, utf8.data(), 4, -1), -1);
  EXPECT_EQ(UTF8().decodeNextChar(c, utf8.data(), 3, 1), -1);
  const Bytes utf16 = {0x41, 0x00, 0x00, 0xDC, 0x00, 0xD8, 0x00, 0xDC, 0x42};  // A, lone low, pair, half
  EXPECT_EQ(UTF32().countChars(utf16.data(), 9, 0), 2);
  EXPECT_EQ(UTF32().countChars(utf16.data(), 9, 2), 1);
  EXPECT_EQ(Latin1().countChars(utf16.data(), 9, 4), 5);
  EXPECT_EQ(UTF8().countChars(utf8.data(), 4, 4), 0);
}

TEST(CharEncodings, CharOffsetsUpToTheEnd) {
  const Bytes utf8 = {0x41, 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80};  // A é € 😀
  const std::int32_t expected[] = {0, 1, 3, 6, 10, -1};  // the end is an offset too, past it none
  for (std::int32_t index = 0; index < 6; ++index) {
    EXPECT_EQ(UTF8().getCharOffset(utf8.data(), Size(utf8), index), expected[index]) << index;
  }
  EXPECT_EQ(UTF32().getCharOffset(utf8.data(), 8, 2), 8);
  EXPECT_EQ(UTF32().getCharOffset(utf8.data(), 8, 3), -1);
  EXPECT_EQ(Latin1().getCharOffset(utf8.data(), 10, 10), 10);
  EXPECT_EQ(Latin1().getCharOffset(utf8.data(), 10, 11), -1);
  const Bytes utf16 = {0x41, 0x00, 0x3D, 0xD8, 0x00, 0xDE};
  EXPECT_EQ(UTF16().getCharOffset(utf16.data(), 6, 2), 6);
  EXPECT_EQ(UTF16().getCharOffset(utf16.data(), 6, 3), -1);
  for (const ICharEncoding* encoding : {&UTF8(), &UTF16(), &UTF32(), &Latin1()})
    EXPECT_EQ(encoding->getCharOffset(utf8.data(), 8, -1), -1) << encoding->getName();
}

TEST(CharEncodings, BackwardsStrictAndLenient) {
  CodePoint c = 0;
  // UTF-8: trailing continuation bytes are skipped leniently, refused strictly.
  const Bytes trailing = {0x41, 0x80, 0x80};
  EXPECT_EQ(UTF8().decodePreviousCharAt(c, trailing.data(), 3, 3), -1);
  EXPECT_EQ(UTF8().decodePreviousChar(c, trailing.data(), 3, 3), 0);
  EXPECT_EQ(c, 0x41u);
  EXPECT_EQ(UTF8().findPreviousCharStart(trailing.data(), 3, 3), 0);
  // A sequence that would need bytes behind the offset is passed over.
  const Bytes cut = {0x41, 0xE2, 0x82, 0xAC};
  EXPECT_EQ(UTF8().decodePreviousChar(c, cut.data(), 4, 3), 0);
  EXPECT_EQ(UTF8().decodePreviousChar(c, cut.data(), 4, 0), -1);
  EXPECT_EQ(UTF8().decodePreviousChar(c, cut.data(), 1, 3), -1);  // beyond the size
  // UTF-16: a lone high surrogate is a character strictly, skipped leniently.
  const Bytes high = {0x41, 0x00, 0x00, 0xD8};
  EXPECT_EQ(UTF16().decodePreviousCharAt(c, high.data(), 4, 4), 2);
  EXPECT_EQ(c, 0xD800u);
  EXPECT_EQ(UTF16().decodePreviousChar(c, high.data(), 4, 4), 0);
  EXPECT_EQ(c, 0x41u);
  const Bytes lowAlone = {0x41, 0x00, 0x00, 0xDC};
  EXPECT_EQ(UTF16().decodePreviousCharAt(c, lowAlone.data(), 4, 4), -1);
  EXPECT_EQ(UTF16().decodePreviousCharAt(c, lowAlone.data() + 2, 2, 2), -1);
  EXPECT_EQ(UTF16().decodePreviousCharAt(c, lowAlone.data(), 4, 0), -1);
  // UTF-32 and Latin-1 step back one unit.
  EXPECT_EQ(UTF32().decodePreviousChar(c, high.data(), 4, 3), -1);
  EXPECT_EQ(Latin1().findPreviousCharStart(high.data(), 4, 0), -1);
  EXPECT_EQ(Latin1().findPreviousCharStart(high.data(), 4, 4), 3);
}

// Within sixteen bits, as the locale decodes; never backwards, whatever the locale.
TEST(CodePageEncoding, FollowsTheLocaleWithinSixteenBitsForwardsOnly) {
  CodePoint c = 0;
  Bytes buffer(8, 0xCC);
  {
    test::ScopedLocale locale("C.UTF-8");
    ASSERT_TRUE(locale.available);
    EXPECT_EQ(CodePage().getMaxCharSize(), static_cast<std::int32_t>(MB_CUR_MAX));
    const Bytes e = {0xC3, 0xA9, 0x00, 0xF0, 0x9F, 0x98, 0x80, 0x41};
    EXPECT_EQ(CodePage().decodeCharAt(c, e.data(), Size(e), 0), 2);
    EXPECT_EQ(c, 0xE9u);
    EXPECT_EQ(CodePage().decodeCharAt(c, e.data(), Size(e), 2), 3);  // NUL takes its one byte
    EXPECT_EQ(c, 0u);
    EXPECT_EQ(CodePage().decodeCharAt(c, e.data(), Size(e), 3), -1);  // beyond 16 bits
    EXPECT_EQ(CodePage().decodeNextChar(c, e.data(), Size(e), 3), 8);
    EXPECT_EQ(c, 0x41u);
    EXPECT_EQ(CodePage().countChars(e.data(), Size(e), 0), 3);
    EXPECT_EQ(CodePage().encodeChar(0x20AC, buffer.data(), 8, 0), 3);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 3), (Bytes{0xE2, 0x82, 0xAC}));
    EXPECT_EQ(CodePage().encodeChar(0x20AC, buffer.data(), 2, 0), 0);  // no room
    EXPECT_EQ(CodePage().encodeChar(0x10000, buffer.data(), 8, 0), 0);
    EXPECT_EQ(CodePage().getEncodedSize(0x10000), 0);
    EXPECT_EQ(CodePage().getEncodedSize(0xFFFF), 3);  // the last of sixteen bits
    EXPECT_EQ(CodePage().encodeChar(0xFFFF, buffer.data(), 8, 0), 3);
    EXPECT_EQ(CodePage().getEncodedSize(0xD800), 0);
  }
  // The plain C locale refuses eight-bit bytes.
  test::ScopedLocale locale("C");
  const Bytes bytes = {0xE9, 0x41};
  EXPECT_EQ(CodePage().decodeCharAt(c, bytes.data(), 2, 0), -1);
  EXPECT_EQ(CodePage().countChars(bytes.data(), 2, 0), 1);
  EXPECT_EQ(CodePage().getEncodedSize(0xE9), 0);
  std::int32_t count = 0;
  EXPECT_THROW(CodePage().findPreviousCharStart(bytes.data(), 2, 2), CMethodNotImplementedError);
  EXPECT_THROW(CodePage().decodePreviousCharAt(c, bytes.data(), 2, 2), CMethodNotImplementedError);
  EXPECT_THROW(CodePage().decodeCharsBackwards(&c, 1, count, bytes.data(), 2, 2, nullptr),
               CMethodNotImplementedError);
  EXPECT_THROW(CodePage().decodePreviousChar(c, bytes.data(), 2, 2), CMethodNotImplementedError);
}

}  // namespace
}  // namespace lumo
