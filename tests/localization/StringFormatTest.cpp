// Named placeholders, and the printf-style formatter with its errors.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <type_traits>
#include <variant>
#include <vector>

#include "foundation/CString.h"
#include "foundation/Exception.h"
#include "foundation/IStringLocalizer.h"
#include "localization/Placeholder.h"
#include "localization/StringFormat.h"

namespace lumo {
namespace {

// const char* pushes a Latin-1 string (nullptr the null string), const char16_t* a UTF-16 one.
using Arg = std::variant<std::int32_t, std::uint32_t, std::int64_t, std::uint64_t, double, const char*,
                         const char16_t*>;

void Push(CStringFormat& format, const Arg& arg) {
  std::visit(
      [&](auto value) {
        using Pushed = std::conditional_t<std::is_pointer_v<decltype(value)>, String, decltype(value)>;
        format.push(Pushed(value));
      },
      arg);
}

std::string Bytes(const String& text) {
  EXPECT_TRUE(text->hasEncoding(kUTF8EncodingId));
  EXPECT_TRUE(text->isTerminated() && text->data()[text->byteLength()] == 0);
  return std::string(reinterpret_cast<const char*>(text->data()), static_cast<std::size_t>(text->byteLength()));
}

std::string Format(const char* format, const std::vector<Arg>& args) {
  const P<CStringFormat> formatter = make<CStringFormat>(format);
  for (const Arg& arg : args) Push(*formatter, arg);
  return Bytes(formatter->getResult());
}

TEST(Placeholder, ReplacesEveryWholeOccurrenceOnceWithCase) {
  EXPECT_EQ(Replace("%APP% and %APP% but %app%", "%APP%", "Orbweave"), String("Orbweave and Orbweave but %app%"));
  EXPECT_EQ(Replace("no placeholder", "%APP%", "Orbweave"), String("no placeholder"));
  // What was inserted is not searched again.
  EXPECT_EQ(Replace("[%A%]", "%A%", "%A%%A%"), String("[%A%%A%]"));
  EXPECT_EQ(Replace(u"\u00bb%F%\u00ab", "%F%", u"\u03a9.iso"), String(u"\u00bb\u03a9.iso\u00ab"));
}

TEST(StringFormat, RendersFieldsAsPrintfDoes) {
  constexpr auto kInt64Min = std::numeric_limits<std::int64_t>::min();
  constexpr auto kUInt64Max = std::numeric_limits<std::uint64_t>::max();
  // The format, what is pushed, the text it makes in UTF-8.
  const std::tuple<const char*, std::vector<Arg>, const char*> rows[] = {
      {"", {}, ""},
      {"d\xe9j\xe0 %d", {1}, "d\xc3\xa9j\xc3\xa0 1"},
      {"100%% of %d%%", {5}, "100% of 5%"},
      // Literal runs shorter and longer than the sixteen and eight bytes copied at a step.
      {"Error %d while writing sector %u of '%s' (%5.1f%% done, %#x).",
       {-17, 1234567u, "a.iso", 42.25, 0x2f},
       "Error -17 while writing sector 1234567 of 'a.iso' ( 42.2% done, 0x2f)."},
      {"%d, nothing more|%d and nothing more after it", {1, 2}, "1, nothing more|2 and nothing more after it"},
      {"%5.2f", {3.14159}, " 3.14"},
      // Width and precision from the arguments: a negative width aligns left, a negative precision is none.
      {"%*d", {4, 7}, "   7"},
      {"%*d|", {-4, 7}, "7   |"},
      {"%*.*f", {8, 3, 3.14159}, "   3.142"},
      {"%*d|%*d", {std::int64_t{3}, 7, std::uint64_t{2}, 8}, "  7| 8"},
      {"%.*f|%.*f", {-1, 2.5, 0, 2.5}, "2.500000|2"},
      {"%.*s|%.*s|%.*s", {2147483647u, "ab", -2147483647, "cd", std::int64_t{2147483647}, "ef"}, "ab|cd|ef"},
      {"%.f|%.d", {2.5, 0}, "2|"},
      // Flags, six flag characters being the most.
      {"%+d % d %05d %-5d|", {5, 5, -42, 42}, "+5  5 -0042 42   |"},
      {"%--++00d|", {1}, "+1|"},
      // Every integer conversion, at the width the value was pushed with.
      {"%d %i %o %u %x %X", {-3, -3, 8, 3u, 254, 0xAFE}, "-3 -3 10 3 fe AFE"},
      {"%u %u", {-1, std::int64_t{-1}}, "4294967295 18446744073709551615"},
      {"%d %d", {4294967295u, kUInt64Max}, "-1 -1"},
      {"%lld %I64u", {kInt64Min, kUInt64Max}, "-9223372036854775808 18446744073709551615"},
      {"%ld %zu %jd %td %.3d", {123, 7u, std::int64_t{3}, 4, 7}, "123 7 3 4 007"},
      // Widths and precisions with every digit.
      {"%9d|%.9d|%19u|%-10.8x|", {-5, 5, 1234567890u, 255}, "       -5|000000005|         1234567890|000000ff  |"},
      // The alternative form, "0" behind the sign, and no digits for a zero of precision 0.
      {"%#o %#x %#X %#.0o %#x|%.0d|%+u|%08.3d|%05.0d|%+05d",
       {8, 255, 255, 0, 0, 0, 5, 5, 5, -5},
       "010 0xff 0XFF 0 0||5|     005|    5|-0005"},
      // "h" and "hh" narrow as printf's conversion to short and char does.
      {"%hhd %hhu %hhx %hd %hu", {300, -1, -1, 40000, 70000}, "44 255 ff -25536 4464"},
      {"%hd", {std::int64_t{0x123456789}}, "26505"},
      {"%e %E %g %G %Lf",
       {12345.678, 12345.678, 0.0001, 1e-10, 1.5},
       "1.234568e+04 1.234568E+04 0.0001 1E-10 1.500000"},
      {"%+.2e|%08.2f|%-7.1f|% .0f|%g|%.1f|%#.0f|%f|%E",
       {12345.678, -3.14159, 2.25, 2.5, 100000.0, -0.0, 3.0, std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity()},
       "+1.23e+04|-0003.14|2.2    | 2|100000|-0.0|3.|inf|-INF"},
      // Characters: "c" the low byte as Latin-1, "C" and "lc" a code point.
      {"%c%c%3c|%-3c|", {65, 0x1E9, 'x', 'y'}, "A\xc3\xa9  x|y  |"},
      {"%C %lc %C", {0x3A9, 0x1F600, 0x110000}, "\xce\xa9 \xf0\x9f\x98\x80 ?"},
      // Strings of any encoding; width and precision count characters.
      {"%s|%5s|%-5s|%.2s|%05s|%.0s|", {"abc", "abc", "abc", "abc", "ab", "abc"}, "abc|  abc|abc  |ab|   ab||"},
      {"%S %.1s %3s|", {u"\u03a9mega", u"\u03a9mega", u"\u03a9"}, "\xce\xa9mega \xce\xa9   \xce\xa9|"},
      {"%-3S|%-4s|", {u"\u03a9", "\xe9"}, "\xce\xa9  |\xc3\xa9   |"},
      // UTF-16's leading ASCII run is copied across: cut by the precision, or followed by other characters.
      {"%.3s|%s|%.4s|%-4S|", {u"abcd\u03a9", u"ab\u03a9c\U0001F600", u"ab\u03a9c\U0001F600", u""},
       "abc|ab\xce\xa9" "c\xf0\x9f\x98\x80|ab\xce\xa9" "c|    |"},
      {"%s|%s", {u"\u0080\u0080\u0080\u0080", u"a\u0080"}, "\xc2\x80\xc2\x80\xc2\x80\xc2\x80|a\xc2\x80"},
      // Runs of sixteen units and more: the other character behind one, in the last unit of one or in the first.
      {"%s|%s|%s|%.33s", {u"0123456789abcdefghij\u00e9", u"0123456789abcdef0123456789abcde\u0100xy",
                          u"\u00e90123456789abcdefghij", u"0123456789abcdefghijklmnopqrstuvwxyzABCDEF"},
       "0123456789abcdefghij\xc3\xa9|0123456789abcdef0123456789abcde\xc4\x80xy|\xc3\xa9" "0123456789abcdefghij|"
       "0123456789abcdefghijklmnopqrstuvw"},
      {"%s %s", {"caf\xe9", static_cast<const char*>(nullptr)}, "caf\xc3\xa9 (null)"},
  };
  for (const auto& [format, args, expected] : rows) EXPECT_EQ(Format(format, args), expected) << format;
  // The largest double in full: 309 digits before the point.
  const std::string huge = Format("%f", {std::numeric_limits<double>::max()});
  EXPECT_EQ(huge.size(), 316u);
  EXPECT_EQ(huge.substr(0, 6) + huge.substr(309), "179769.000000");
  EXPECT_EQ(Format("%400d|%.300d", {1, 2}).size(), 701u);
  // Malformed UTF-8 in the format or in a string is passed over, as the string readers pass it.
  const auto utf8 = [](const char* bytes) {
    return String(make<CUTF8String>(reinterpret_cast<const std::uint8_t*>(bytes)));
  };
  const P<CStringFormat> formatter = make<CStringFormat>(utf8("a\xff%s|%3s\xc3"));
  formatter
      ->push(utf8("\x80"
                  "b\xc3\xa9"))
      .push(utf8("\xed\xa0"));
  EXPECT_EQ(Bytes(formatter->getResult()), "ab\xc3\xa9|   ");
}

TEST(StringFormat, RaisesAtThePushThatMeetsTheError) {
  constexpr const char* kWidth = "CStringFormat: expected integer value (field width).";
  constexpr const char* kPrecision = "CStringFormat: expected integer value (field precision).";
  constexpr const char* kFlags = "CStringFormat: too many field flags specified.";
  constexpr const char* kInvalid = "Das Format ist falsch.";  // the localizer's text, set below
  constexpr const char* kMismatch = "CStringFormat: argument does not match the field's format specification.";
  constexpr const char* kNotAll = "CStringFormat: not all parameters have been pushed in yet.";
  constexpr const char* kNoField = "CStringFormat: every field already has its parameter.";
  // The format, what is pushed, the error's text, and whether reading the result raises it (else the last push).
  const std::tuple<const char*, std::vector<Arg>, const char*, bool> rows[] = {
      {"%*d", {"4"}, kWidth, false},
      {"%*d", {2147483648u}, kWidth, false},
      {"%*d", {std::numeric_limits<std::uint64_t>::max()}, kWidth, false},
      {"%*d", {std::int64_t{-2147483648LL}}, kWidth, false},
      {"%.*f", {"2"}, kPrecision, false},
      {"%-+0 #--d", {1}, kFlags, false},
      {"%q", {1}, kInvalid, false},
      {"%", {1}, kInvalid, false},
      {"%2147483648d", {1}, kInvalid, false},
      // More than the 16 MiB a result may take, from a width or a precision.
      {"%20000000d", {1}, kInvalid, false},
      {"%*s", {20000000, "x"}, kInvalid, false},
      {"%.20000000f", {1.5}, kInvalid, false},
      {"%I6dx", {1}, kInvalid, false},
      {"%Ix4d", {1}, kInvalid, false},
      {"%*q", {4, 1}, kInvalid, false},
      {"%d %q", {1, 2}, kInvalid, false},
      {"%d", {"1"}, kMismatch, false},
      {"%f", {1}, kMismatch, false},
      {"%s", {1}, kMismatch, false},
      {"%d", {}, kNotAll, true},
      {"%d%%", {1, 2}, kNoField, false},
      {"%d %q", {1}, kInvalid, true},
  };
  GetStringLocalizer()->Set("lumo.CStringFormat.InvalidFormat", kInvalid);
  for (const auto& [format, args, message, atRead] : rows) {
    SCOPED_TRACE(format);
    const P<CStringFormat> formatter = make<CStringFormat>(format);
    const std::size_t passing = atRead ? args.size() : args.size() - 1;
    for (std::size_t i = 0; i < passing; ++i) Push(*formatter, args[i]);
    try {
      atRead ? (void)formatter->getResult() : Push(*formatter, args.back());
      ADD_FAILURE() << "nothing raised";
    } catch (const CObjectError& error) {
      const bool stateError = message == kNotAll || message == kNoField;
      EXPECT_TRUE(stateError ? dynamic_cast<const CInvalidObjectStateError*>(&error) != nullptr
                             : dynamic_cast<const CInvalidArgError*>(&error) != nullptr);
      EXPECT_TRUE(error.getDescription().endsWith(message));
      EXPECT_EQ(error.getObject(), static_cast<IBase*>(formatter.get()));
    }
  }
  GetStringLocalizer()->Clear();
  // A failed push changes nothing.
  const P<CStringFormat> formatter = make<CStringFormat>("a%db%*dc%%%s");
  formatter->push(1);
  EXPECT_THROW(formatter->push("not a width"), CInvalidArgError);
  formatter->push(3);
  EXPECT_THROW(formatter->push(2.5), CInvalidArgError);
  EXPECT_THROW(formatter->getResult(), CInvalidObjectStateError);
  formatter->push(2).push(u"end");
  EXPECT_EQ(Bytes(formatter->getResult()), "a1b  2c%end");
  EXPECT_EQ(Bytes(formatter->getResult()), "a1b  2c%end");  // reading again gives the same text
}

}  // namespace
}  // namespace lumo
