// Block decoding and counting of UTF-8 on every path against single steps of DecodeUtf8: each form, valid or
// broken, at each place of a window, and long random text.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "compat/win32/Utf8Block.h"

namespace compat::win32 {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Walked = std::vector<std::pair<std::uint32_t, std::int32_t>>;  // characters and their offsets

std::int32_t Size(const Bytes& text) { return static_cast<std::int32_t>(text.size()); }

// The plain loop: one DecodeUtf8 step after another, skipping a byte where none starts.
Walked Steps(const Bytes& text, std::int32_t from) {
  Walked out;
  for (std::int32_t at = from; at < Size(text);) {
    std::uint32_t c;
    const std::int32_t behind = DecodeUtf8At(c, text.data(), Size(text), at);
    if (behind < 0) {
      ++at;
      continue;
    }
    out.emplace_back(c, at);
    at = behind;
  }
  return out;
}

template <class Path>
Walked Blocks(const Bytes& text, std::int32_t from, std::int32_t block) {
  Walked out;
  std::vector<std::uint32_t> chars(static_cast<std::size_t>(block)), plain(chars.size());
  std::vector<std::int32_t> starts(chars.size());
  // Each block moves on, so a text is read in at most as many blocks as it has bytes.
  for (std::int32_t at = from, count = 1, rounds = 0; count > 0 && rounds <= Size(text); ++rounds) {
    std::int32_t end, plainEnd;
    count = DecodeUtf8Block<Path, true>(chars.data(), starts.data(), block, text.data(), Size(text), at, end);
    // Without the offsets the same characters and the same end.
    const std::int32_t plainCount =
        DecodeUtf8Block<Path, false>(plain.data(), nullptr, block, text.data(), Size(text), at, plainEnd);
    EXPECT_EQ(plainCount, count);
    EXPECT_EQ(plainEnd, end);
    for (std::int32_t i = 0; i < count; ++i) {
      out.emplace_back(chars[i], starts[i]);
      EXPECT_EQ(plain[i], chars[i]);
    }
    if (count > 0) {
      std::uint32_t last;
      EXPECT_EQ(end, DecodeUtf8At(last, text.data(), Size(text), starts[count - 1]));
    }
    EXPECT_TRUE(end > at || count == 0) << at;
    at = end;
  }
  return out;
}

template <class Path>
void ExpectAgrees(const Bytes& text, std::int32_t from) {
  const Walked steps = Steps(text, from);
  for (const std::int32_t block : {16, 5, 1, 64, 21}) EXPECT_EQ(Blocks<Path>(text, from, block), steps) << block;
  EXPECT_EQ(CountUtf8Chars<Path>(text.data(), Size(text), from), std::ssize(steps));
}

// Every class of form the windows tell apart: the first and last of each length, the long forms the library reads,
// surrogates, overlong and out-of-range forms, stray continuation bytes, impossible bytes, cut characters.
const std::vector<Bytes>& Forms() {
  static const std::vector<Bytes> forms = {
      {0x00}, {0x07}, {0x7F}, {0xC2, 0x80}, {0xDF, 0xBF}, {0xC1, 0x81}, {0xE0, 0xA0, 0x80}, {0xEF, 0xBF, 0xBF},
      {0xED, 0xA0, 0x80}, {0xED, 0xBF, 0xBF}, {0xF0, 0x90, 0x80, 0x80}, {0xF4, 0x8F, 0xBF, 0xBF},
      {0xC0, 0x80}, {0xC0, 0xBF}, {0x80}, {0xBF}, {0xF8}, {0xFF}, {0xF5, 0x80, 0x80, 0x80},
      {0xE0, 0x9F, 0xBF}, {0xF0, 0x8F, 0xBF, 0xBF}, {0xF4, 0x90, 0x80, 0x80}, {0xE2, 0x82}, {0xF0, 0x9F, 0x98},
      {0xE0, 0xA0, 0x41}, {0xC3}, {0xF0, 0x90, 0x41, 0x80},
  };
  return forms;
}

// `shift` bytes of 'a', then each of `parts` in turn.
Bytes Joined(std::size_t shift, std::initializer_list<const Bytes*> parts) {
  Bytes text(shift, 'a');
  for (const Bytes* part : parts) text.insert(text.end(), part->begin(), part->end());
  return text;
}

// About 5000 bytes of forms drawn from `forms`, one of `broken` now and then when it is given.
Bytes RandomText(std::mt19937& random, const std::vector<Bytes>& forms, const std::vector<Bytes>* broken = nullptr) {
  Bytes text;
  while (text.size() < 5000) {
    const Bytes& form = broken != nullptr && random() % 40 == 0 ? (*broken)[random() % broken->size()]
                                                                : forms[random() % forms.size()];
    text.insert(text.end(), form.begin(), form.end());
  }
  return text;
}

template <class Path>
class Utf8Block : public testing::Test {
 protected:
  void SetUp() override {
#if defined(__SSE2__)
    if (std::is_same_v<Path, Utf8Ssse3Path> && !kUtf8HasSsse3) GTEST_SKIP() << "no SSSE3 here";
#endif
  }
};

#if defined(__SSE2__)
using Paths = testing::Types<Utf8ScalarPath, Utf8Sse2Path, Utf8Ssse3Path>;
#else
using Paths = testing::Types<Utf8ScalarPath>;
#endif
TYPED_TEST_SUITE(Utf8Block, Paths);

TYPED_TEST(Utf8Block, EveryFormAtEveryPlaceOfAWindowReadsAsSingleSteps) {
  // Behind the form: two-, three- and four-byte characters, so that windows on either side hold each kind.
  const Bytes tail = {'z', 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80, 'y', 0xD0, 0x9F,
                      'x', 'w', 'v', 'u', 't', 's', 'r', 'q', 'p', 'o', 'n', 'm', 'l', 'k'};
  for (const Bytes& form : Forms()) {
    SCOPED_TRACE(testing::PrintToString(form));
    for (std::int32_t shift = 0; shift < 20; ++shift) {
      SCOPED_TRACE(shift);
      Bytes text = Joined(static_cast<std::size_t>(shift), {&form, &tail});
      ExpectAgrees<TypeParam>(text, 0);
      ExpectAgrees<TypeParam>(text, shift + 1);
      // And the form at the very end of the text.
      text.resize(static_cast<std::size_t>(shift) + form.size());
      ExpectAgrees<TypeParam>(text, 0);
    }
  }
}

TYPED_TEST(Utf8Block, AsciiRunsAroundEachFormReadAsSingleSteps) {
  // Runs of ASCII about as long as two windows, before and behind each form, so that a block meets runs of 32
  // ASCII bytes at every place and a window that continues a character right behind one.
  for (const Bytes& form : Forms()) {
    SCOPED_TRACE(testing::PrintToString(form));
    for (const std::size_t run : {15u, 31u, 32u, 33u, 47u}) {
      const Bytes euro = {0xE2, 0x82, 0xAC}, runB(run, 'b');
      const Bytes text = Joined(run, {&form, &euro, &runB, &form});
      ExpectAgrees<TypeParam>(text, 0);
      ExpectAgrees<TypeParam>(text, 7);
    }
  }
}

TYPED_TEST(Utf8Block, EveryLeadByteBeforeEachKindOfSecondByteReadsAsSingleSteps) {
  // Whether a window takes a lead byte depends on the byte behind it (E0, F0 and F4 by range, the others not at
  // all): every byte from 80 on before both ends of each high half of the second byte, a four-byte form's room
  // behind.
  for (std::uint32_t lead = 0x80; lead <= 0xFF; ++lead) {
    for (std::uint32_t second = 0; second <= 0xFF; second += second % 16 == 0 ? 15 : 1) {
      Bytes text = {static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(second), 0x80, 0x80};
      text.resize(24, 'a');
      ExpectAgrees<TypeParam>(text, 0);
      if (testing::Test::HasFailure()) FAIL() << std::hex << lead << " " << second;
    }
  }
}

// The characters of a text of shortest forms only, by single steps; -1 when any byte belongs to none.
std::int32_t ShortestSteps(const Bytes& text, std::int32_t from) {
  std::int32_t count = 0;
  for (std::size_t at = static_cast<std::size_t>(from), used; at < text.size(); at += used, ++count) {
    if (DecodeUtf8(text.data() + at, text.size() - at, used, kUtf8Surrogates) == kNotUtf8) return -1;
  }
  return count;
}

TYPED_TEST(Utf8Block, ShortestFormsAreCountedAndAnythingElseRefused) {
  const Bytes tail = {'z', 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80, 'y', 'x', 'w', 'v', 'u', 't', 's'};
  for (const Bytes& form : Forms()) {
    SCOPED_TRACE(testing::PrintToString(form));
    for (std::int32_t shift = 0; shift < 20; ++shift) {
      Bytes text = Joined(static_cast<std::size_t>(shift), {&form, &tail});
      // Cut anywhere, a character across the cut included.
      for (std::size_t size = 0; size <= text.size(); size += 3) {
        const Bytes cut(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(CountShortestUtf8<TypeParam>(cut.data(), Size(cut), 0), ShortestSteps(cut, 0)) << shift << " " << size;
      }
    }
  }
}

TYPED_TEST(Utf8Block, LongRandomTextReadsAsSingleSteps) {
  // Mostly valid characters of every length, with a broken form now and then.
  const std::vector<Bytes> valid = {{'a'}, {' '}, {0xC3, 0xB6}, {0xD0, 0x9F}, {0xE6, 0x97, 0xA5},
                                    {0xE2, 0x82, 0xAC}, {0xF0, 0x9F, 0x98, 0x80}};
  for (const std::uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    const Bytes text = RandomText(random, valid, &Forms());
    ExpectAgrees<TypeParam>(text, 0);
    ExpectAgrees<TypeParam>(text, 3);
    EXPECT_EQ(CountShortestUtf8<TypeParam>(text.data(), Size(text), 1), ShortestSteps(text, 1));
  }
  // Valid text only, so that the count is not just a refusal.
  std::mt19937 random(4);
  const Bytes text = RandomText(random, valid);
  EXPECT_GT(ShortestSteps(text, 0), 0);
  EXPECT_EQ(CountShortestUtf8<TypeParam>(text.data(), Size(text), 0), ShortestSteps(text, 0));
}

#if defined(__SSE2__)
TEST(TranscodeUtf8Units, TakesTheCharactersOfOneUnitWindowAfterWindow) {
  if (!kUtf8HasSsse3) GTEST_SKIP() << "no SSSE3 here";
  const std::vector<Bytes> forms = {{'a'}, {0xC3, 0xB6}, {0xC1, 0x81}, {0xE6, 0x97, 0xA5}, {0xED, 0x9F, 0xBF},
                                    {0xED, 0xA0, 0x80}, {0xF0, 0x9F, 0x98, 0x80}, {0x80}, {0xC3}};
  std::mt19937 random(5);
  for (int round = 0; round < 600; ++round) {
    // Mostly forms of one unit, so that runs reach over several windows and past the room.
    Bytes text;
    const std::size_t length = 19 + random() % 300;
    while (text.size() < length) {
      const Bytes& form = forms[random() % (random() % 40 == 0 ? forms.size() : 4)];
      text.insert(text.end(), form.begin(), form.end());
    }
    SCOPED_TRACE(testing::PrintToString(text));
    const std::int32_t room = round % 2 == 0 ? 256 : 32 + static_cast<std::int32_t>(random() % 64);
    // Single steps, window by window: a window is read when it is whole (19 bytes), the room holds 16 more
    // units and every one of its 16 bytes belongs to a character; its characters are taken up to the first
    // that is not one unit.
    const Walked chars = Steps(text, 0);
    std::vector<bool> good(text.size());
    std::vector<std::int32_t> ends;
    for (const auto& [c, at] : chars) {
      std::uint32_t decoded;
      ends.push_back(DecodeUtf8At(decoded, text.data(), Size(text), at));
      std::fill(good.begin() + at, good.begin() + ends.back(), true);
    }
    std::int32_t k = 0;
    for (std::int32_t window = 0; Size(text) - window >= kUtf8WindowBytes && room - k >= 16; window += 16) {
      if (!std::all_of(good.begin() + window, good.begin() + window + 16, [](bool b) { return b; })) break;
      const std::int32_t before = k;
      while (k < std::ssize(chars) && chars[k].second < window + 16 && text[chars[k].second] < 0xF0 &&
             text[chars[k].second] != 0xED) {
        ++k;
      }
      if (k < std::ssize(chars) && chars[k].second < window + 16) break;
      ASSERT_GT(k, before);
    }
    std::vector<char16_t> units(static_cast<std::size_t>(room));
    const Utf8AsUnits taken = TranscodeUtf8Units(text.data(), Size(text), units.data(), room);
    ASSERT_EQ(taken.units, k);
    EXPECT_EQ(taken.bytes, k == 0 ? 0 : ends[k - 1]);
    for (std::int32_t i = 0; i < k; ++i) {
      EXPECT_EQ(units[i], chars[i].first) << i;
      EXPECT_EQ(OffsetOfUtf8Unit(text.data(), i), chars[i].second) << i;
    }
  }
}

// UTF-16 units as bytes, in the machine's order.
Bytes UnitBytes(const std::u16string& units) {
  Bytes out(2 * units.size());
  std::memcpy(out.data(), units.data(), out.size());
  return out;
}

TEST(AgreeShortUtf16, PassesOnlyUnitsWhoseShortestFormsAreTheBytesAndStopsOnlyForCause) {
  if (!kUtf8HasSsse3) GTEST_SKIP() << "no SSSE3 here";
  // Characters of one unit at each boundary of the classes the groups tell apart, a surrogate pair, and the UTF-8
  // forms no unit writes (a C1 form, an encoded surrogate, a broken byte), each with the unit read for it.
  struct Form {
    Bytes utf8;
    std::u16string utf16;
  };
  const std::vector<Form> forms = {
      {{'a'}, u"a"}, {{0x7F}, u"\x7F"}, {{0xC2, 0x80}, u"\x80"}, {{0xDF, 0xBF}, u"\x7FF"},
      {{0xE0, 0xA0, 0x80}, u"\x800"}, {{0xEE, 0x80, 0x80}, u"\xE000"}, {{0xEF, 0xBF, 0xBF}, u"\xFFFF"},
      {{0xF0, 0x9F, 0x98, 0x80}, u"\xD83D\xDE00"}, {{0xC1, 0x81}, u"A"}, {{0xED, 0xA0, 0x80}, u"\xD800"},
      {{0x80}, u"\x80"}};
  const Form filler[] = {{{'q'}, u"q"}, {{0xC3, 0xB6}, u"\xF6"}, {{0xD0, 0x9F}, u"\x41F"}};
  std::mt19937 random(6);
  for (std::size_t f = 0; f < forms.size(); ++f) {
    for (std::int32_t shift = 0; shift < 40; ++shift) {
      // The form after `shift` characters of one and two bytes, so that it lands at every place of a group of
      // units and of the 16 bytes they are held against; then more filler.
      Bytes utf8;
      std::u16string utf16;
      const auto add = [&](const Form& form) {
        utf8.insert(utf8.end(), form.utf8.begin(), form.utf8.end());
        utf16 += form.utf16;
      };
      for (std::int32_t i = 0; i < shift; ++i) add(filler[random() % 3]);
      const std::int32_t formUnit = static_cast<std::int32_t>(utf16.size());
      add(forms[f]);
      while (utf8.size() < 120) add(filler[random() % 3]);
      // Equal, then one unit changed before, at and behind the form.
      for (const std::int32_t changed : {-1, shift / 2, formUnit, formUnit + 5}) {
        std::u16string other = utf16;
        if (changed >= 0) other[static_cast<std::size_t>(changed)] ^= 1;
        const Bytes units = UnitBytes(other);
        const std::int32_t all = static_cast<std::int32_t>(other.size());
        SCOPED_TRACE(testing::Message() << "form " << f << ", shift " << shift << ", changed " << changed);
        const Utf8Utf16Agreement agreed = AgreeShortUtf16(utf8.data(), Size(utf8), units.data(), all, all);
        // What it passed is exactly the shortest forms of the units it passed.
        std::string written;
        for (std::int32_t i = 0; i < agreed.units; ++i) AppendUtf8(written, other[static_cast<std::size_t>(i)]);
        ASSERT_EQ(Bytes(written.begin(), written.end()), Bytes(utf8.begin(), utf8.begin() + agreed.bytes));
        if (changed >= 0) {
          EXPECT_LE(agreed.units, changed);
        }
        // It stops for a difference, a unit that is no whole character or whose form is not the bytes, or room.
        const bool sameForm = forms[f].utf8 != Bytes{0xC1, 0x81} && forms[f].utf8 != Bytes{0xED, 0xA0, 0x80} &&
                              forms[f].utf8 != Bytes{0x80} && forms[f].utf16.size() == 1;
        if (!sameForm) {
          EXPECT_LE(agreed.units, formUnit);
        } else if (changed < 0) {
          EXPECT_TRUE(all - agreed.units < 16 || Size(utf8) - agreed.bytes < 32);
        }
      }
    }
  }
  // No room: nothing read.
  const Bytes a(40, 'a');
  const Bytes units = UnitBytes(std::u16string(40, u'a'));
  EXPECT_EQ(AgreeShortUtf16(a.data(), 31, units.data(), 40, 40).units, 0);
  EXPECT_EQ(AgreeShortUtf16(a.data(), 40, units.data(), 15, 40).units, 0);
  EXPECT_EQ(AgreeShortUtf16(a.data(), 40, units.data(), 40, 15).units, 0);
  EXPECT_EQ(AgreeShortUtf16(a.data(), 40, units.data(), 40, 40).units, 16);
  // Three-byte characters in the last four units of the last group are still taken (36 bytes, 16 units; the UTF-8
  // goes on, so that 16 bytes can be read at the last four).
  Bytes mixed;
  std::u16string wide;
  for (int i = 0; i < 16; ++i) {
    mixed.insert(mixed.end(), i < 12 ? std::initializer_list<std::uint8_t>{0xC3, 0xB6}
                                     : std::initializer_list<std::uint8_t>{0xE6, 0x97, 0xA5});
    wide += i < 12 ? u'\xF6' : u'\x65E5';
  }
  mixed.resize(44, 'z');
  const Bytes mixedUnits = UnitBytes(wide);
  const Utf8Utf16Agreement whole = AgreeShortUtf16(mixed.data(), Size(mixed), mixedUnits.data(), 16, 16);
  EXPECT_EQ(whole.units, 16);
  EXPECT_EQ(whole.bytes, 36);
}
#endif

}  // namespace
}  // namespace compat::win32
