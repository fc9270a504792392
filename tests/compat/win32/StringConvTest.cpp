// MultiByteToWideChar / WideCharToMultiByte: UTF-8 boundaries, the buffer contract, the ANSI code page.
#include "compat/win32/StringConv.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "tests/compat/win32/Win32Expect.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr char16_t kPoison = 0xCCCC;

// Converts into a poisoned buffer of the size the size query gave; nothing beyond it may be touched.
std::u16string ToWide(std::string_view bytes, UINT codePage = CP_UTF8) {
  const int length = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
  std::u16string out(static_cast<std::size_t>(needed) + 1, kPoison);
  EXPECT_EQ(MultiByteToWideChar(codePage, 0, bytes.data(), length, out.data(), needed), needed);
  EXPECT_EQ(out.back(), kPoison);
  out.pop_back();
  return out;
}

// To CP_ACP, with the default character and whether it was used.
std::string ToAnsi(std::u16string_view wide, const char* defaultChar, BOOL& used) {
  used = 0xcccc;
  char out[32];
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out, 32, defaultChar,
                                    &used);
  return std::string(out, static_cast<std::size_t>(n));
}

struct LocaleScope {
  explicit LocaleScope(const char* name) : ok(std::setlocale(LC_ALL, name) != nullptr) {}
  ~LocaleScope() { std::setlocale(LC_ALL, "C"); }
  const bool ok;
};

TEST(StringConv, Utf8DecodesEveryBoundaryClass) {
  // Invalid input reads with one U+FFFD per maximal subpart, and fails when asked to.
  const std::pair<std::string, std::u16string> cases[] = {
      // First and last sequence of each length, around the surrogates.
      {std::string("\0", 1), std::u16string(1, u'\0')}, {"\x7F", u"\x7F"}, {"\xC2\x80", u"\x80"},
      {"\xDF\xBF", u"\x7FF"}, {"\xE0\xA0\x80", u"\x800"}, {"\xEF\xBF\xBF", u"\xFFFF"},
      {"\xF0\x90\x80\x80", u"\xD800\xDC00"}, {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
      {"\xED\x9F\xBF", u"\xD7FF"}, {"\xEE\x80\x80", u"\xE000"},
      {"abcdefghijklmnopq\xE2\x82\xAC", u"abcdefghijklmnopq\x20AC"},
      // Encoded surrogates, overlong forms, beyond U+10FFFF, impossible bytes.
      {"\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD"}, {"\xC0\x80", u"\xFFFD\xFFFD"},
      {"\xE0\x80\xAF", u"\xFFFD\xFFFD\xFFFD"}, {"\xF0\x8F\xBF\xBF", u"\xFFFD\xFFFD\xFFFD\xFFFD"},
      {"\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD"}, {"\xFE\xFF", u"\xFFFD\xFFFD"},
      // Unexpected continuations; truncated sequences, the next character kept.
      {"a\x80z", u"a\xFFFDz"}, {"\xE2\x82z", u"\xFFFDz"}, {"ab\xC3", u"ab\xFFFD"},
  };
  for (const auto& [bytes, wide] : cases) {
    SCOPED_TRACE(::testing::PrintToString(bytes));
    EXPECT_EQ(ToWide(bytes), wide);
    const bool valid = wide.find(u'\xFFFD') == std::u16string::npos;
    const int length = static_cast<int>(bytes.size());
    char16_t out[32];
    EXPECT_WIN32(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), length, out, 32),
                 valid ? static_cast<int>(wide.size()) : 0, valid ? 0xdeadbeef : ERROR_NO_UNICODE_TRANSLATION);
  }
}

TEST(StringConv, Utf16EncodesPairsAndReplacesLoneSurrogates) {
  std::u16string all;  // every code point but the surrogates
  for (char32_t cp = 1; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0x10000)
      all += {static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)), static_cast<char16_t>(0xDC00 + (cp & 0x3FF))};
    else if (cp < 0xD800 || cp > 0xDFFF)
      all += static_cast<char16_t>(cp);
  }
  const std::string utf8 = compat::win32::Utf16ToUtf8(all);
  EXPECT_EQ(utf8.size(), 0x7Fu + 2 * 0x780u + 3 * 0xF000u + 4 * 0x100000u);
  EXPECT_EQ(compat::win32::Utf8ToUtf16(utf8), all);
  EXPECT_EQ(ToWide(utf8), all);

  // Lone surrogates: U+FFFD, or a failure when asked.
  const std::u16string lone = u"\xDC00\xD800z";
  EXPECT_EQ(compat::win32::Utf16ToUtf8(lone), "\xEF\xBF\xBD\xEF\xBF\xBDz");
  char out[16];
  EXPECT_WIN32(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone.data(), 3, out, 16, nullptr, nullptr), 0,
               ERROR_NO_UNICODE_TRANSLATION);
}

TEST(StringConv, LengthAndBufferContract) {
  char16_t wide[8] = {kPoison, kPoison, kPoison, kPoison};
  // -1 counts and writes the terminator; an explicit length writes none.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9", -1, nullptr, 0), 3);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9", -1, wide, 8), 3);
  EXPECT_EQ(std::u16string(wide, 4), std::u16string(u"h\xE9\0\xCCCC", 4));
  std::fill(std::begin(wide), std::end(wide), kPoison);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 2, wide, 8), 2);
  EXPECT_EQ(wide[2], kPoison);
  char bytes[8];
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\x20AC", -1, bytes, 8, nullptr, nullptr), 4);
  EXPECT_STREQ(bytes, "\xE2\x82\xAC");

  // Too small, also for a pair or a character that would have to be split; and the arguments Windows refuses.
  BOOL used;
  EXPECT_WIN32(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 3), 0, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_WIN32(MultiByteToWideChar(CP_UTF8, 0, "abcdefghijklmnopq", 17, wide, 8), 0, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_WIN32(MultiByteToWideChar(CP_UTF8, 0, "a\xF0\x9F\x98\x80", 5, wide, 2), 0, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_WIN32(WideCharToMultiByte(CP_UTF8, 0, u"a\x20AC", 2, bytes, 3, nullptr, nullptr), 0,
               ERROR_INSUFFICIENT_BUFFER);
  EXPECT_WIN32(MultiByteToWideChar(CP_UTF8, 0, "a", 0, wide, 8), 0, ERROR_INVALID_PARAMETER);
  EXPECT_WIN32(MultiByteToWideChar(CP_UTF8, 0, "a", 1, nullptr, 8), 0, ERROR_INVALID_PARAMETER);
  EXPECT_WIN32(MultiByteToWideChar(1252, 0, "a", 1, wide, 8), 0, ERROR_INVALID_PARAMETER);
  EXPECT_WIN32(MultiByteToWideChar(CP_UTF8, 4, "a", 1, wide, 8), 0, ERROR_INVALID_FLAGS);
  EXPECT_WIN32(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, bytes, 8, nullptr, &used), 0, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(lstrlenW(nullptr), 0);
}

TEST(StringConv, AnsiFollowsTheLocale) {
  BOOL used;
  {
    LocaleScope locale("C.UTF-8");
    ASSERT_TRUE(locale.ok);
    EXPECT_EQ(ToAnsi(u"\xE9\x20AC", nullptr, used), "\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(used, FALSE);
    EXPECT_EQ(ToAnsi(u"a\xD800", "*", used), "a*");  // what UTF-8 cannot carry
    EXPECT_EQ(used, TRUE);
  }
  {
    // The C locale is Latin-1: every byte survives the round trip.
    LocaleScope locale("C");
    std::string bytes;
    for (int b = 1; b < 256; ++b) bytes += static_cast<char>(b);
    const std::u16string wide = ToWide(bytes, CP_ACP);
    EXPECT_EQ(wide[0xE9 - 1], u'\xE9');
    EXPECT_EQ(compat::win32::Utf16ToAnsi(wide), bytes);
    EXPECT_EQ(ToAnsi(u"5\x20AC", nullptr, used), "5?");
    EXPECT_EQ(used, TRUE);
    EXPECT_EQ(ToAnsi(u"\xD83D\xDE00!", "#", used), "#!");
  }
}

// Two small locales built for the test with localedef, and LOCPATH to them.
class TestLocales : public testing_support::IsolatedTest {
 protected:
  TestLocales() {
    for (const char* charset : {"ISO-8859-15", "EUC-JP"}) {
      const std::string command =
          "localedef -i POSIX -f " + std::string(charset) + " '" + folder() / charset + "' >/dev/null 2>&1";
      (void)std::system(command.c_str());
    }
    SetEnv("LOCPATH", folder().path());
  }
};

TEST_F(TestLocales, AnsiInOtherCharacterSetsGoesThroughTheCLibrary) {
  BOOL used;
  {
    LocaleScope locale("ISO-8859-15");
    if (!locale.ok) GTEST_SKIP() << "localedef could not build the test locales";
    EXPECT_EQ(ToAnsi(u"\x20AC\x0153\xA4", nullptr, used), "\xA4\xBD?");  // the euro took the currency sign's place
    EXPECT_EQ(ToWide("\xA4", CP_ACP), u"\x20AC");
  }
  {
    LocaleScope locale("EUC-JP");
    ASSERT_TRUE(locale.ok);
    EXPECT_EQ(ToAnsi(u"a\x65E5\x672C", nullptr, used), "a\xC6\xFC\xCB\xDC");
    EXPECT_EQ(used, FALSE);
    EXPECT_EQ(ToWide("\xC6\xFC\xCB\xDC", CP_ACP), u"\x65E5\x672C");
    // A lead byte cut off, or followed by what cannot follow it.
    EXPECT_EQ(ToWide("x\xC6", CP_ACP), u"x\xFFFD");
    EXPECT_EQ(ToWide("\xC6" "a", CP_ACP), u"\xFFFD" "a");
    char16_t out[4];
    EXPECT_WIN32(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "x\xC6", 2, out, 4), 0,
                 ERROR_NO_UNICODE_TRANSLATION);
  }
}

}  // namespace
