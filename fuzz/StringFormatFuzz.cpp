// The formatting that translated texts go through: lumo::CStringFormat and
// the named placeholders (the library's Replace and the application's
// CString::Replace, which ReplacePlaceholder calls).
//
// A first byte picks the check:
//  - a format built field by field from the input against snprintf: the
//    field as written (with "*" arguments and all) is handed to snprintf
//    with the C length of the pushed value, which must give the same text;
//  - arbitrary format bytes in any encoding and arbitrary pushes: only the
//    formatter's two errors may come out, every result is UTF-8, and a
//    second formatter given only the pushes the first accepted reads the
//    same (a refused push changes nothing);
//  - placeholders in arbitrary UTF-16 text against a model over code units.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "compat/mfc/CString.h"
#include "foundation/CString.h"
#include "foundation/Exception.h"
#include "localization/Placeholder.h"
#include "localization/StringFormat.h"

namespace {

using lumo::String;

void Check(bool condition, const char* what, const std::string& format) {
  if (!condition) {
    std::fprintf(stderr, "%s (format \"%s\")\n", what, format.c_str());
    std::abort();
  }
}

std::string Bytes(const String& text) {
  return std::string(reinterpret_cast<const char*>(text->data()), static_cast<std::size_t>(text->byteLength()));
}

// Whether `text` is well-formed UTF-8: shortest forms, nothing above
// U+10FFFF. Surrogate code points pass: the library's strings hold them as
// characters, and "%C" writes them.
bool IsUTF8(const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t size = lead < 0x80                   ? 1
                             : lead >= 0xC2 && lead < 0xE0 ? 2
                             : lead >= 0xE0 && lead < 0xF0 ? 3
                             : lead >= 0xF0 && lead < 0xF5 ? 4
                                                           : 0;
    if (size == 0 || at + size > text.size()) return false;
    char32_t c = size == 1 ? lead : lead & (0x7F >> size);
    for (std::size_t i = 1; i < size; ++i) {
      const auto next = static_cast<unsigned char>(text[at + i]);
      if ((next & 0xC0) != 0x80) return false;
      c = c << 6 | (next & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[size] || c > 0x10FFFF) return false;
    at += size;
  }
  return true;
}

// A text pushed as a value or given as a format, in one of three encodings.
String MakeText(FuzzedDataProvider& in, const std::string& bytes) {
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
      return lumo::make<lumo::CLatin1String>(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    case 1:
      return lumo::make<lumo::CUTF8String>(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                           static_cast<std::int32_t>(bytes.size()));
    default: {
      const std::u16string units(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
      return lumo::make<lumo::CWCharString>(units.c_str(), static_cast<std::int32_t>(units.size() * 2));
    }
  }
}

// Printable ASCII, which every encoding spells alike.
String AsciiText(FuzzedDataProvider& in, const std::string& ascii) {
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
      return lumo::make<lumo::CLatin1String>(ascii.c_str());
    case 1:
      return lumo::make<lumo::CUTF8String>(reinterpret_cast<const std::uint8_t*>(ascii.c_str()));
    default:
      return String(std::u16string(ascii.begin(), ascii.end()).c_str());
  }
}

using Value = std::variant<std::int32_t, std::uint32_t, std::int64_t, std::uint64_t, double, String>;

void Push(lumo::CStringFormat& format, const Value& value) {
  std::visit([&](const auto& v) { format.push(v); }, value);
}

// An integer as pushed, its bits extended to 64 and whether it was pushed
// with 64 bits.
struct Integer {
  Value pushed;
  std::uint64_t bits;
  bool wide;
};

template <class T>
Integer MakeInteger(T value) {
  return {value, static_cast<std::uint64_t>(value), sizeof value == 8};
}

Integer ConsumeInteger(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return MakeInteger(in.ConsumeIntegral<std::int32_t>());
    case 1:
      return MakeInteger(in.ConsumeIntegral<std::uint32_t>());
    case 2:
      return MakeInteger(in.ConsumeIntegral<std::int64_t>());
    default:
      return MakeInteger(in.ConsumeIntegral<std::uint64_t>());
  }
}

// --- against snprintf ---

// snprintf of one directive with the star arguments before the value.
template <class T>
std::string Printf(const std::string& directive, const std::vector<int>& stars, T value) {
  char buffer[1024];
  int written = -1;
  if (stars.empty()) written = std::snprintf(buffer, sizeof buffer, directive.c_str(), value);
  if (stars.size() == 1) written = std::snprintf(buffer, sizeof buffer, directive.c_str(), stars[0], value);
  if (stars.size() == 2) written = std::snprintf(buffer, sizeof buffer, directive.c_str(), stars[0], stars[1], value);
  Check(written >= 0 && static_cast<std::size_t>(written) < sizeof buffer, "snprintf failed", directive);
  return std::string(buffer, static_cast<std::size_t>(written));
}

std::string Latin1ToUTF8(const std::string& latin1) {
  std::string utf8;
  for (const char c : latin1) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xC0 | byte >> 6);
      utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return utf8;
}

// A width or precision: none, digits, or "*" with an integer pushed for it
// (and handed to snprintf as an int).
void AddNumber(FuzzedDataProvider& in, std::string& ours, std::string& theirs, std::vector<Value>& pushes,
               std::vector<int>& stars, bool isWidth, int low, int high) {
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
      return;
    case 1: {
      // A width's leading 0 would be read as a flag.
      const std::string digits = std::to_string(in.ConsumeIntegralInRange(isWidth ? 1 : 0, high));
      ours += digits;
      theirs += digits;
      return;
    }
    default: {
      const int value = in.ConsumeIntegralInRange(low, high);
      ours += '*';
      theirs += '*';
      stars.push_back(value);
      if (in.ConsumeBool()) {
        pushes.emplace_back(std::int64_t{value});
      } else {
        pushes.emplace_back(value);
      }
    }
  }
}

void CheckAgainstPrintf(FuzzedDataProvider& in) {
  static const char* const kLengths[] = {"", "h", "hh", "l", "ll", "L", "z", "j", "t", "I64"};
  std::string format, expected;
  std::vector<Value> pushes;
  for (int fields = in.ConsumeIntegralInRange(0, 5); fields > 0; --fields) {
    for (char c : in.ConsumeBytesAsString(in.ConsumeIntegralInRange(0, 6))) {
      if (c == 0) c = ' ';  // the format is a C string for snprintf's sake
      format += c == '%' ? "%%" : std::string(1, c);
      expected += Latin1ToUTF8(std::string(1, c));
    }
    const char conversion = in.PickValueInArray({'d', 'i', 'o', 'x', 'X', 'u', 'e', 'E', 'f', 'g', 'G', 'c', 's', 'S'});
    const bool text = conversion == 'c' || conversion == 's' || conversion == 'S';
    // printf defines only "-" for characters and strings.
    std::string flags;
    for (int n = in.ConsumeIntegralInRange(0, 6); n > 0; --n) flags += in.PickValueInArray({'-', '+', ' ', '0', '#'});
    if (text) flags = std::string(flags.find('-') == std::string::npos ? 0 : 1, '-');
    std::string ours = "%" + flags, theirs = ours;
    std::vector<int> stars;
    AddNumber(in, ours, theirs, pushes, stars, true, -40, 40);
    if (conversion != 'c' && in.ConsumeBool()) {
      ours += '.';
      theirs += '.';
      AddNumber(in, ours, theirs, pushes, stars, false, -3, 30);
    }
    const std::string length = text ? "" : in.PickValueInArray(kLengths);
    ours += length + conversion;
    format += ours;
    if (std::string_view("eEfgG").find(conversion) != std::string_view::npos) {
      const double value = in.ConsumeFloatingPoint<double>();
      pushes.emplace_back(value);
      expected += Printf(theirs + conversion, stars, value);
    } else if (conversion == 's' || conversion == 'S') {
      std::string value = in.ConsumeRandomLengthString(12);
      for (char& c : value) c = static_cast<char>(0x20 + static_cast<unsigned char>(c) % 0x5F);  // printable ASCII
      pushes.emplace_back(AsciiText(in, value));
      expected += Printf(theirs + 's', stars, value.c_str());
    } else {
      const Integer value = ConsumeInteger(in);
      pushes.push_back(value.pushed);
      const std::uint64_t bits = value.bits;
      if (conversion == 'c') {
        expected += Latin1ToUTF8(Printf(theirs + 'c', stars, static_cast<int>(bits & 0xFF)));
      } else if (length == "h" || length == "hh") {
        // printf narrows the int itself.
        expected += Printf(theirs + length + conversion, stars, static_cast<int>(static_cast<std::uint32_t>(bits)));
      } else if (conversion == 'd' || conversion == 'i') {
        // Read at the width the value was pushed with.
        const auto number = value.wide ? static_cast<long long>(bits) : static_cast<std::int32_t>(bits);
        expected += Printf(theirs + "ll" + conversion, stars, number);
      } else {
        const auto number = value.wide ? static_cast<unsigned long long>(bits) : static_cast<std::uint32_t>(bits);
        expected += Printf(theirs + "ll" + conversion, stars, number);
      }
    }
  }
  const lumo::P<lumo::CStringFormat> formatter = lumo::make<lumo::CStringFormat>(
      lumo::make<lumo::CLatin1String>(format.data(), static_cast<std::int32_t>(format.size())));
  try {
    for (const Value& value : pushes) Push(*formatter, value);
    Check(Bytes(formatter->getResult()) == expected, "differs from snprintf", format);
  } catch (const lumo::CObjectError&) {
    Check(false, "refuses a field printf takes", format);
  }
}

// --- arbitrary formats ---

void CheckArbitraryFormat(FuzzedDataProvider& in) {
  const std::string bytes = in.ConsumeRandomLengthString(256);
  const String format = MakeText(in, bytes);
  const lumo::P<lumo::CStringFormat> all = lumo::make<lumo::CStringFormat>(format);
  const lumo::P<lumo::CStringFormat> accepted = lumo::make<lumo::CStringFormat>(format);
  for (int n = in.ConsumeIntegralInRange(0, 8); n > 0; --n) {
    Value value;
    switch (in.ConsumeIntegralInRange(0, 2)) {
      case 0:
        value = ConsumeInteger(in).pushed;
        break;
      case 1:
        value = in.ConsumeFloatingPoint<double>();
        break;
      default: {
        const std::string text = in.ConsumeRandomLengthString(64);
        value = MakeText(in, text);
      }
    }
    try {
      Push(*all, value);
    } catch (const lumo::CInvalidArgError&) {
      continue;
    } catch (const lumo::CInvalidObjectStateError&) {
      continue;
    }
    Push(*accepted, value);
  }
  // Both read the same text, or both refuse.
  std::optional<std::string> results[2];
  for (int i = 0; i < 2; ++i) {
    try {
      results[i] = Bytes((i == 0 ? all : accepted)->getResult());
    } catch (const lumo::CInvalidArgError&) {
    } catch (const lumo::CInvalidObjectStateError&) {
    }
  }
  Check(results[0] == results[1], "a refused push changed the formatter", bytes);
  if (results[0] && !IsUTF8(*results[0])) {
    std::string shown;
    for (const char c : *results[0]) shown += " " + std::to_string(static_cast<unsigned char>(c));
    Check(false, "the result is not UTF-8", shown);
  }
}

// --- placeholders ---

// Every occurrence left to right, the inserted text not searched again.
std::u16string Replaced(const std::u16string& text, const std::u16string& what, const std::u16string& with) {
  if (what.empty()) return text;
  std::u16string out;
  std::size_t copied = 0;
  for (std::size_t at = text.find(what); at != std::u16string::npos; at = text.find(what, copied)) {
    out += text.substr(copied, at - copied) + with;
    copied = at + what.size();
  }
  return out + text.substr(copied);
}

// Up to `most` UTF-16 units, most of them from a few characters so that
// matches are common (never NUL): "%", "A", "B", "_", "\u00e9", the halves of U+1F600.
std::u16string ConsumeUnits(FuzzedDataProvider& in, std::size_t most) {
  std::u16string units;
  for (std::size_t n = in.ConsumeIntegralInRange<std::size_t>(0, most); n > 0 && in.remaining_bytes(); --n) {
    const std::uint8_t pick = in.ConsumeIntegral<std::uint8_t>();
    units += pick < 200 ? u"%AB_\u00e9\xD83D\xDE00"[pick % 7]
                        : static_cast<char16_t>(in.ConsumeIntegralInRange<std::uint16_t>(1, 0xFFFF));
  }
  return units;
}

bool WellFormed(const std::u16string& units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t c = units[i];
    if (c >= 0xDC00 && c < 0xE000) return false;
    if (c >= 0xD800 && c < 0xDC00 && (++i == units.size() || units[i] < 0xDC00 || units[i] >= 0xE000)) return false;
  }
  return true;
}

void CheckPlaceholders(FuzzedDataProvider& in) {
  const std::u16string text = ConsumeUnits(in, 64), what = ConsumeUnits(in, 4), with = ConsumeUnits(in, 8);
  const std::u16string expected = Replaced(text, what, with);
  std::string shown;
  for (const std::u16string* part : {&text, &what, &with}) {
    for (const char16_t unit : *part) shown += " " + std::to_string(unit);
    shown += " |";
  }
  // The application's texts are units of UTF-16, whatever they hold.
  CString application(text.c_str());
  application.Replace(what.c_str(), with.c_str());
  Check(std::u16string(application.GetString()) == expected, "CString::Replace differs", shown);
  // The library's compare characters, which for well-formed text is the same.
  if (!WellFormed(text) || !WellFormed(what) || !WellFormed(with)) return;
  const String library = lumo::Replace(text.c_str(), what.c_str(), with.c_str());
  const String utf16 = lumo::CString::convert(*library, lumo::GetUTF16CharEncoding());
  Check(std::u16string(reinterpret_cast<const char16_t*>(utf16->data()),
                       static_cast<std::size_t>(utf16->byteLength()) / 2) == expected,
        "Replace differs", shown);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
      CheckAgainstPrintf(in);
      break;
    case 1:
      CheckArbitraryFormat(in);
      break;
    default:
      CheckPlaceholders(in);
      break;
  }
  return 0;
}
