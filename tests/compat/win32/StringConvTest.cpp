// MultiByteToWideChar / WideCharToMultiByte: the UTF-8 boundaries, the
// buffer contract, and the ANSI code page in the locales it follows.
#include "compat/win32/StringConv.h"

#include <gtest/gtest.h>
#include <langinfo.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "compat/win32/Error.h"

namespace {

constexpr char16_t kPoison = 0xCCCC;

// Converts with a poisoned buffer one unit larger than the answer and checks
// that the size query agrees and nothing past the answer was written.
std::u16string ToWide(std::string_view bytes, DWORD flags = 0, UINT codePage = CP_UTF8) {
  const int length = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(codePage, flags, bytes.data(), length, nullptr, 0);
  std::u16string out(static_cast<std::size_t>(needed) + 1, kPoison);
  const int written = MultiByteToWideChar(codePage, flags, bytes.data(), length, out.data(), needed);
  EXPECT_EQ(written, needed);
  EXPECT_EQ(out.back(), kPoison);
  out.pop_back();
  return out;
}

std::string ToMulti(std::u16string_view wide, UINT codePage = CP_UTF8, DWORD flags = 0) {
  const int length = static_cast<int>(wide.size());
  const int needed = WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(needed) + 1, '\xcc');
  const int written =
      WideCharToMultiByte(codePage, flags, wide.data(), length, out.data(), needed, nullptr, nullptr);
  EXPECT_EQ(written, needed);
  EXPECT_EQ(out.back(), '\xcc');
  out.pop_back();
  return out;
}

// Switches LC_ALL for one test and back to "C" afterwards.
class LocaleScope {
 public:
  explicit LocaleScope(const char* name) { ok_ = std::setlocale(LC_ALL, name) != nullptr; }
  ~LocaleScope() { std::setlocale(LC_ALL, "C"); }
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

struct Utf8Case {
  const char* what;
  std::string bytes;
  std::u16string wide;  // without MB_ERR_INVALID_CHARS
  bool valid;
};

const Utf8Case kUtf8Cases[] = {
    // First and last possible sequence of each length.
    {"U+0000", std::string("\0", 1), std::u16string(1, u'\0'), true},
    {"U+007F", "\x7F", u"\x7F", true},
    {"U+0080", "\xC2\x80", u"\x80", true},
    {"U+07FF", "\xDF\xBF", u"\x7FF", true},
    {"U+0800", "\xE0\xA0\x80", u"\x800", true},
    {"U+FFFF", "\xEF\xBF\xBF", u"\xFFFF", true},
    {"U+10000", "\xF0\x90\x80\x80", u"\xD800\xDC00", true},
    {"U+10FFFF", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF", true},
    // Around the surrogates.
    {"U+D7FF", "\xED\x9F\xBF", u"\xD7FF", true},
    {"U+E000", "\xEE\x80\x80", u"\xE000", true},
    {"encoded high surrogate", "\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD", false},
    {"encoded low surrogate", "\xED\xBF\xBF", u"\xFFFD\xFFFD\xFFFD", false},
    // Unexpected continuation bytes, one replacement each.
    {"lone continuation", "a\x80z", u"a\xFFFDz", false},
    {"two continuations", "\x80\xBF", u"\xFFFD\xFFFD", false},
    // Overlong forms.
    {"overlong NUL", "\xC0\x80", u"\xFFFD\xFFFD", false},
    {"overlong slash", "\xE0\x80\xAF", u"\xFFFD\xFFFD\xFFFD", false},
    {"overlong 4-byte", "\xF0\x8F\xBF\xBF", u"\xFFFD\xFFFD\xFFFD\xFFFD", false},
    // Beyond U+10FFFF and bytes that never occur.
    {"U+110000", "\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD", false},
    {"F5 lead", "\xF5\x80", u"\xFFFD\xFFFD", false},
    {"FE and FF", "\xFE\xFF", u"\xFFFD\xFFFD", false},
    // Truncated sequences: the started part is one replacement and the next
    // character survives.
    {"3-byte missing last", "\xE2\x82z", u"\xFFFDz", false},
    {"4-byte missing last", "\xF0\x9F\x98", u"\xFFFD", false},
    {"4-byte cut by ASCII", "\xF0\x9F" "A", u"\xFFFD" "A", false},
    {"2-byte at the end", "ab\xC3", u"ab\xFFFD", false},
    // Mixed text across the ASCII fast path.
    {"long ASCII then euro", "abcdefghijklmnopq\xE2\x82\xAC", u"abcdefghijklmnopq\x20AC", true},
};

TEST(StringConv, Utf8DecodesEveryBoundaryClass) {
  for (const Utf8Case& c : kUtf8Cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ToWide(c.bytes), c.wide);

    char16_t out[32];
    std::fill(std::begin(out), std::end(out), kPoison);
    SetLastError(0);
    const int strict = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, c.bytes.data(),
                                           static_cast<int>(c.bytes.size()), out, 32);
    if (c.valid) {
      EXPECT_EQ(std::u16string(out, static_cast<std::size_t>(strict)), c.wide);
    } else {
      EXPECT_EQ(strict, 0);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    }
  }
}

TEST(StringConv, Utf16EncodesPairsAndReplacesLoneSurrogates) {
  struct Case {
    const char* what;
    std::u16string wide;
    std::string bytes;
    bool valid;
  };
  const Case cases[] = {
      {"ASCII", u"plain", "plain", true},
      {"two bytes", u"\xE9", "\xC3\xA9", true},
      {"three bytes", u"\x20AC", "\xE2\x82\xAC", true},
      {"pair", u"\xD83D\xDE00", "\xF0\x9F\x98\x80", true},
      {"last pair", u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF", true},
      {"lone high at end", u"a\xD800", "a\xEF\xBF\xBD", false},
      {"lone high before ASCII", u"\xD800z", "\xEF\xBF\xBDz", false},
      {"lone low", u"\xDC00", "\xEF\xBF\xBD", false},
      {"reversed pair", u"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ToMulti(c.wide), c.bytes);
    char out[16];
    SetLastError(0);
    const int strict = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, c.wide.data(),
                                           static_cast<int>(c.wide.size()), out, 16, nullptr, nullptr);
    EXPECT_EQ(strict, c.valid ? static_cast<int>(c.bytes.size()) : 0);
    if (!c.valid) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    }
  }
}

TEST(StringConv, EveryCodePointRoundTripsThroughUtf8) {
  std::u16string all;
  for (char32_t cp = 1; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    if (cp < 0x10000) {
      all.push_back(static_cast<char16_t>(cp));
    } else {
      all.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      all.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  const std::string utf8 = compat::win32::Utf16ToUtf8(all);
  EXPECT_EQ(utf8.size(), 0x7Fu + 2 * 0x780u + 3 * (0x10000u - 0x800u - 0x800u) + 4 * 0x100000u);
  EXPECT_EQ(compat::win32::Utf8ToUtf16(utf8), all);
  EXPECT_EQ(ToWide(utf8), all);
  EXPECT_EQ(ToMulti(all), utf8);
}

TEST(StringConv, LengthAndBufferContract) {
  // -1 counts the terminator and writes it.
  char16_t wide[8];
  std::fill(std::begin(wide), std::end(wide), kPoison);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9", -1, nullptr, 0), 3);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9", -1, wide, 8), 3);
  EXPECT_EQ(std::u16string(wide, 3), std::u16string(u"h\xE9\0", 3));
  EXPECT_EQ(wide[3], kPoison);

  // An explicit length writes no terminator.
  std::fill(std::begin(wide), std::end(wide), kPoison);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 2, wide, 8), 2);
  EXPECT_EQ(wide[2], kPoison);

  // Too small: nothing is claimed and the error says why.
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  // A pair does not fit into one remaining unit.
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xF0\x9F\x98\x80", 5, wide, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  char bytes[8];
  std::memset(bytes, 0xcc, sizeof bytes);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\x20AC", -1, nullptr, 0, nullptr, nullptr), 4);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\x20AC", -1, bytes, 8, nullptr, nullptr), 4);
  EXPECT_STREQ(bytes, "\xE2\x82\xAC");
  EXPECT_EQ(bytes[4], '\xcc');
  // A character is never split across the end of the buffer.
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a\x20AC", 2, bytes, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  // Arguments Windows refuses, each with its own code.
  struct Bad {
    const char* what;
    std::function<int()> call;
    DWORD error;
  };
  BOOL used = 7;
  const Bad bad[] = {
      {"zero length", [&] { return MultiByteToWideChar(CP_UTF8, 0, "a", 0, wide, 8); }, ERROR_INVALID_PARAMETER},
      {"null input", [&] { return MultiByteToWideChar(CP_UTF8, 0, nullptr, 1, wide, 8); },
       ERROR_INVALID_PARAMETER},
      {"null buffer with size", [&] { return MultiByteToWideChar(CP_UTF8, 0, "a", 1, nullptr, 8); },
       ERROR_INVALID_PARAMETER},
      {"length below -1", [&] { return MultiByteToWideChar(CP_UTF8, 0, "a", -2, wide, 8); },
       ERROR_INVALID_PARAMETER},
      {"unknown code page", [&] { return MultiByteToWideChar(1252, 0, "a", 1, wide, 8); }, ERROR_INVALID_PARAMETER},
      {"UTF-8 with glyph flag", [&] { return MultiByteToWideChar(CP_UTF8, 4, "a", 1, wide, 8); },
       ERROR_INVALID_FLAGS},
      {"UTF-8 default char", [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a", 1, bytes, 8, "?", nullptr); },
       ERROR_INVALID_PARAMETER},
      {"UTF-8 used flag", [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a", 1, bytes, 8, nullptr, &used); },
       ERROR_INVALID_PARAMETER},
      {"UTF-8 best fit flag",
       [&] { return WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, u"a", 1, bytes, 8, nullptr, nullptr); },
       ERROR_INVALID_FLAGS},
      {"wide zero length", [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a", 0, bytes, 8, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.what);
    SetLastError(0);
    EXPECT_EQ(b.call(), 0);
    EXPECT_EQ(GetLastError(), b.error);
  }

  EXPECT_EQ(lstrlenW(u"abc"), 3);
  EXPECT_EQ(lstrlenW(nullptr), 0);
}

// Converts to CP_ACP with the given default character and reports whether it
// was used.
std::string ToAnsi(std::u16string_view wide, const char* defaultChar, BOOL* used) {
  *used = 0xcccccccc;
  char out[32];
  std::memset(out, 0xcc, sizeof out);
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out, 32,
                                    defaultChar, used);
  EXPECT_GT(n, 0);
  return std::string(out, static_cast<std::size_t>(n > 0 ? n : 0));
}

TEST(StringConv, AnsiIsUtf8InAUtf8Locale) {
  LocaleScope locale("C.UTF-8");
  ASSERT_TRUE(locale.ok());
  BOOL used;
  EXPECT_EQ(ToAnsi(u"\xE9\x20AC", nullptr, &used), "\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(used, FALSE);
  // What UTF-8 cannot carry becomes the default character.
  EXPECT_EQ(ToAnsi(u"a\xD800", "*", &used), "a*");
  EXPECT_EQ(used, TRUE);
  EXPECT_EQ(ToWide("\xC3\xA9", 0, CP_ACP), u"\xE9");
  EXPECT_EQ(compat::win32::AnsiToUtf16("\xE2\x82\xAC"), u"\x20AC");
}

TEST(StringConv, AnsiIsLatin1InTheCLocale) {
  LocaleScope locale("C");
  ASSERT_TRUE(locale.ok());
  // Every byte survives the round trip.
  std::string bytes;
  for (int b = 1; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  const std::u16string wide = ToWide(bytes, MB_ERR_INVALID_CHARS, CP_ACP);
  ASSERT_EQ(wide.size(), 255u);
  EXPECT_EQ(wide[0xE9 - 1], u'\xE9');
  EXPECT_EQ(compat::win32::Utf16ToAnsi(wide), bytes);

  BOOL used;
  EXPECT_EQ(ToAnsi(u"caf\xE9", nullptr, &used), "caf\xE9");
  EXPECT_EQ(used, FALSE);
  EXPECT_EQ(ToAnsi(u"5\x20AC", nullptr, &used), "5?");
  EXPECT_EQ(used, TRUE);
  EXPECT_EQ(ToAnsi(u"\xD83D\xDE00!", "#", &used), "#!");
  EXPECT_EQ(used, TRUE);
  EXPECT_EQ(compat::win32::Utf16ToAnsi(u"\x20AC"), "?");
}

// Other character sets go through the C library. The test builds two small
// locales with localedef into a temporary folder.
class ForeignLocale : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::filesystem::temp_directory_path() / ("stringconv-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_);
    for (const char* charset : {"ISO-8859-15", "EUC-JP"}) {
      const std::string command = "localedef -i POSIX -f " + std::string(charset) + " '" +
                                  (folder_ / charset).string() + "' >/dev/null 2>&1";
      (void)std::system(command.c_str());
    }
    setenv("LOCPATH", folder_.c_str(), 1);
  }
  static void TearDownTestSuite() {
    unsetenv("LOCPATH");
    std::filesystem::remove_all(folder_);
  }
  static std::filesystem::path folder_;
};
std::filesystem::path ForeignLocale::folder_;

TEST_F(ForeignLocale, SingleByteSetThatIsNotLatin1) {
  LocaleScope locale("ISO-8859-15");
  if (!locale.ok()) GTEST_SKIP() << "localedef could not build ISO-8859-15";
  ASSERT_STREQ(nl_langinfo(CODESET), "ISO-8859-15");
  BOOL used;
  EXPECT_EQ(ToAnsi(u"\x20AC\x0153", nullptr, &used), "\xA4\xBD");
  EXPECT_EQ(used, FALSE);
  EXPECT_EQ(ToAnsi(u"\xA4", nullptr, &used), "?");  // the currency sign gave way to the euro
  EXPECT_EQ(used, TRUE);
  EXPECT_EQ(ToWide("\xA4", 0, CP_ACP), u"\x20AC");
}

TEST_F(ForeignLocale, MultiByteSetWithInvalidAndCutSequences) {
  LocaleScope locale("EUC-JP");
  if (!locale.ok()) GTEST_SKIP() << "localedef could not build EUC-JP";
  BOOL used;
  EXPECT_EQ(ToAnsi(u"a\x65E5\x672C", nullptr, &used), "a\xC6\xFC\xCB\xDC");
  EXPECT_EQ(used, FALSE);
  EXPECT_EQ(ToWide("\xC6\xFC\xCB\xDC", 0, CP_ACP), u"\x65E5\x672C");
  // A lead byte cut off at the end, and one followed by a byte that cannot
  // follow it: a replacement each, the ASCII after survives.
  EXPECT_EQ(ToWide("x\xC6", 0, CP_ACP), u"x\xFFFD");
  EXPECT_EQ(ToWide("\xC6" "a", 0, CP_ACP), u"\xFFFD" "a");
  SetLastError(0);
  char16_t out[4];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "x\xC6", 2, out, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

}  // namespace
