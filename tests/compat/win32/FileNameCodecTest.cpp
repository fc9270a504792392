// File names as bytes: every byte string reads as UTF-16 and writes back to the same bytes, and a file
// whose name is not UTF-8 is reached through the W functions like any other.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "compat/win32/File.h"
#include "compat/win32/Path.h"
#include "compat/win32/Sync.h"
#include "compat/win32/Utf8.h"
#include "tests/support/TestSupport.h"

namespace {

using compat::win32::FileNameToUtf16;
using compat::win32::Utf16ToFileName;

TEST(FileNameCodec, ReadsAsExpectedAndWritesBackTheSameBytes) {
  const std::pair<std::string, std::u16string> names[] = {
      {"", u""}, {"a b/c.txt", u"a b/c.txt"}, {"caf\xC3\xA9", u"caf\u00E9"},
      {"\xF0\x9F\x92\xBF", u"\U0001F4BF"},
      {"caf\xE9.txt", u"caf\xDCE9.txt"},                 // Latin-1
      {"\xE6\x97/", u"\xDCE6\xDC97/"},                   // a sequence cut short
      {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},  // beyond U+10FFFF
      {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},           // an encoded surrogate
      {"\xE6\xC3\xA9", u"\xDCE6\u00E9"},                 // a character after a broken one
  };
  for (const auto& [bytes, wide] : names) {
    EXPECT_EQ(FileNameToUtf16(bytes), wide) << testing::PrintToString(bytes);
    EXPECT_EQ(Utf16ToFileName(wide), bytes) << testing::PrintToString(bytes);
  }
}

// Every string of up to two bytes, and longer ones drawn from bytes that start, continue or break characters.
TEST(FileNameCodecRoundTrip, EveryShortAndManyLongerByteStringsComeBack) {
  for (unsigned n = 0; n < 0x10000 + 0x100; ++n) {
    const std::string bytes = n < 0x100 ? std::string(1, static_cast<char>(n))
                                        : std::string{static_cast<char>(n >> 8), static_cast<char>(n)};
    ASSERT_EQ(Utf16ToFileName(FileNameToUtf16(bytes)), bytes) << n;
  }
  static constexpr unsigned char kAlphabet[] = {'a',  0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2,
                                                0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
  std::uint32_t state = 12345;
  for (int i = 0; i < 100000; ++i) {
    std::string bytes;
    for (int k = 0; k < 1 + i % 8; ++k) {
      state = state * 1664525 + 1013904223;
      bytes += static_cast<char>(kAlphabet[(state >> 16) % sizeof kAlphabet]);
    }
    ASSERT_EQ(Utf16ToFileName(FileNameToUtf16(bytes)), bytes) << testing::PrintToString(bytes);
  }
}

// Lone surrogates outside the carriers keep their three-byte form; a pair is always its character.
TEST(FileNameCodecRoundTrip, OtherLoneSurrogatesTakeTheirThreeByteForm) {
  // The last case ends inside a pair: its first half is all it holds.
  const std::pair<std::u16string_view, std::string> cases[] = {
      {u"\xD800", "\xED\xA0\x80"},      {u"\xDC7F", "\xED\xB1\xBF"},
      {u"\xDD00", "\xED\xB4\x80"},      {u"a\xDBFF", "a\xED\xAF\xBF"},
      {u"\xD83D\xDCBF", "\xF0\x9F\x92\xBF"}, {std::u16string_view(u"a\xD83D\xDCBF", 2), "a\xED\xA0\xBD"},
  };
  for (const auto& [wide, bytes] : cases) EXPECT_EQ(Utf16ToFileName(wide), bytes) << bytes;
}

// A file with a Latin-1 name is listed and opened by that name; a carrier in a new name becomes its byte.
TEST(FileNameBytes, NamesThatAreNotUtf8ReachTheirFiles) {
  const testing_support::TempFolder folder;
  testing_support::WriteFile(folder / "caf\xE9.txt", "old");
  const std::u16string dir = compat::win32::WindowsPath(folder.path()) + u"\\";
  for (const char16_t* pattern : {u"caf*", u"caf\xDCE9.txt"}) {
    WIN32_FIND_DATAW found{};
    const HANDLE find = FindFirstFileW((dir + pattern).c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE) << Utf16ToFileName(pattern);
    FindClose(find);
    EXPECT_EQ(std::u16string(found.cFileName), u"caf\xDCE9.txt");
  }
  for (const auto& [name, how] : {std::pair{u"caf\xDCE9.txt", OPEN_EXISTING}, {u"na\xDCEFve", CREATE_NEW}}) {
    const HANDLE file = CreateFileW((dir + name).c_str(), GENERIC_READ, 0, nullptr, how, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << Utf16ToFileName(name);
    CloseHandle(file);
  }
  EXPECT_TRUE(testing_support::FileExists(folder / "na\xEFve"));
  EXPECT_FALSE(testing_support::FileExists(folder / "na\xC3\xAFve"));
}

}  // namespace
