#include "localization/StringFormat.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>
#include <system_error>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/CString.h"
#include "foundation/Exception.h"
#include "foundation/IStringLocalizer.h"

namespace lumo {

using namespace std::string_view_literals;

namespace {

// More flag characters than this in one field are an error, though only
// five differ: repeating one is harmless to printf, but a run of them is
// no sensible field.
constexpr std::size_t kMaxFlags = 6;

bool IsASCII(const std::uint8_t* data, std::size_t size) {
  std::uint64_t high = 0;
  for (; size >= 8; data += 8, size -= 8) {
    std::uint64_t word;
    std::memcpy(&word, data, 8);
    high |= word;
  }
  for (; size > 0; ++data, --size) high |= *data;
  return (high & 0x8080808080808080u) == 0;
}

constexpr std::uint64_t kOnes = 0x0101010101010101u;

// The offset within `word`, read from memory, of its first byte equal to
// `byte`; 8 when there is none.
std::size_t FindByte(std::uint64_t word, char byte) {
  constexpr std::uint64_t kLow = kOnes * 0x7F;
  word ^= kOnes * static_cast<std::uint8_t>(byte);  // the byte wanted is now a zero byte
  // 0x80 in exactly the zero bytes, none set by a neighbour's borrow.
  const std::uint64_t zeros = ~(((word & kLow) + kLow) | word | kLow);
  const int bit = std::endian::native == std::endian::little ? std::countr_zero(zeros) : std::countl_zero(zeros);
  return static_cast<std::size_t>(bit) / 8;
}

// Copies the `size` bytes of `text` up to the first "%" to `out`, which has
// room for 16 bytes more; how many that were. Literal runs are most of a
// format, and short: they are copied and searched sixteen (or eight) bytes
// a step, without the calls of memchr and memcpy. A step may copy bytes
// behind the run into the spare room, where what comes next overwrites them.
std::size_t CopyToPercent(const char* text, std::size_t size, char* out) {
  std::size_t at = 0;
#if defined(__SSE2__)
  for (const __m128i percent = _mm_set1_epi8('%'); size - at >= 16; at += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), bytes);
    const auto found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, percent)));
    if (found != 0) return at + static_cast<std::size_t>(std::countr_zero(found));
  }
#endif
  for (; size - at >= 8; at += 8) {
    std::uint64_t word;
    std::memcpy(&word, text + at, 8);
    std::memcpy(out + at, &word, 8);
    const std::size_t percent = FindByte(word, '%');
    if (percent < 8) return at + percent;
  }
  for (; at < size && text[at] != '%'; ++at) out[at] = text[at];
  return at;
}

// Whether every byte of the UTF-8 `data` belongs to a character: the
// readers pass over malformed bytes, and so must a result.
bool IsWellFormedUTF8(const std::uint8_t* data, std::int32_t size) {
  const P<ICharEncoding>& utf8 = GetUTF8CharEncoding();
  CodePoint chars[64];
  std::int32_t covered = 0;
  for (std::int32_t offset = 0; offset < size;) {
    std::int32_t count = 0;
    offset = utf8->decodeChars(chars, 64, count, data, size, offset, nullptr);
    if (count == 0) break;
    for (std::int32_t i = 0; i < count; ++i)
      covered += chars[i] < 0x80 ? 1 : chars[i] < 0x800 ? 2 : chars[i] < 0x10000 ? 3 : 4;
  }
  return covered == size;
}

// Whether the bytes of `text` are well-formed UTF-8 already, as they are for
// ASCII in Latin-1, the form of most format literals.
bool IsUTF8(const String& text) {
  const std::uint8_t* data = text->data();
  const std::int32_t size = text->byteLength();
  const std::uint32_t encoding = text->getEncodingId();
  const bool utf8 = encoding == kUTF8EncodingId;
  if (!utf8 && encoding != kLatin1EncodingId) return false;
  return IsASCII(data, static_cast<std::size_t>(size)) || (utf8 && IsWellFormedUTF8(data, size));
}

// `text` as UTF-8: itself, or a converted copy.
String AsUTF8(const String& text) { return IsUTF8(text) ? text : CString::convert(*text, GetUTF8CharEncoding()); }

std::string_view Bytes(const String& text) {
  return std::string_view(reinterpret_cast<const char*>(text->data()), static_cast<std::size_t>(text->byteLength()));
}

}  // namespace

// One pushed value and its kind. Integers keep their bits extended to 64
// (signed ones with their sign) and the width they were pushed with.
struct CStringFormat::Argument {
  Kind kind;
  std::uint64_t bits = 0;
  std::int32_t width = 0;
  bool isSigned = false;
  double number = 0;
  const String* text = nullptr;
};

CStringFormat::CStringFormat(const String& format) : formatText(AsUTF8(format)), format(Bytes(formatText)) {
  // The format's text and a few short values fit without growing.
  reserve(this->format.size() + 64);
}

CStringFormat& CStringFormat::push(std::int32_t value) {
  return accept({Kind::kInteger, static_cast<std::uint64_t>(std::int64_t{value}), 32, true});
}
CStringFormat& CStringFormat::push(std::uint32_t value) { return accept({Kind::kInteger, value, 32, false}); }
CStringFormat& CStringFormat::push(std::int64_t value) {
  return accept({Kind::kInteger, static_cast<std::uint64_t>(value), 64, true});
}
CStringFormat& CStringFormat::push(std::uint64_t value) { return accept({Kind::kInteger, value, 64, false}); }
CStringFormat& CStringFormat::push(double value) {
  Argument argument{Kind::kFloat};
  argument.number = value;
  return accept(argument);
}
CStringFormat& CStringFormat::push(const String& value) {
  Argument argument{Kind::kString};
  argument.text = &value;
  return accept(argument);
}

template <class Work>
void CStringFormat::undoOnError(const char* name, Work&& work) {
  // The field needs no copy: what a failed attempt set in it, reading the
  // same format from the same place sets again. (A copy of the whole state,
  // read right behind the small writes of the last push, also stalled.)
  const std::size_t next = state.next;
  const Step step = state.step;
  const std::size_t builtBefore = built.size;
  operation = name;
  try {
    work();
  } catch (...) {
    state.next = next;
    state.step = step;
    built.size = builtBefore;
    throw;
  }
}

CStringFormat& CStringFormat::accept(const Argument& argument) {
  undoOnError("push", [&] {
    readToArgument();
    switch (state.step) {
      case Step::kWidthArgument: {
        const std::int32_t width = starValue(argument, "lumo.CStringFormat.WidthNotInteger",
                                             "CStringFormat: expected integer value (field width).");
        // A negative width is a left-justified field, as in printf.
        if (width < 0) state.field.flags |= kLeft;
        state.field.width = width < 0 ? -width : width;
        state.step = Step::kAfterWidth;
        break;
      }
      case Step::kPrecisionArgument: {
        const std::int32_t precision = starValue(argument, "lumo.CStringFormat.PrecisionNotInteger",
                                                 "CStringFormat: expected integer value (field precision).");
        // A negative precision counts as none, as in printf.
        state.field.precision = precision < 0 ? -1 : precision;
        state.step = Step::kAfterPrecision;
        break;
      }
      case Step::kValueArgument:
        render(argument);
        state.step = Step::kText;
        break;
      default:
        throw CInvalidObjectStateError(
            this, nullptr,
            Localize("lumo.CStringFormat.NoFieldLeft", "CStringFormat: every field already has its parameter"));
    }
  });
  return *this;
}

String CStringFormat::getResult() {
  // Every field has had its argument: the text is the result's now.
  if (result) return result;
  undoOnError("getResult", [&] { readToArgument(); });
  if (state.step != Step::kText) {
    throw CInvalidObjectStateError(
        this, nullptr,
        Localize("lumo.CStringFormat.NotAllPushed", "CStringFormat: not all parameters have been pushed in yet"));
  }
  std::uint8_t* bytes = built.bytes.get();
  const auto size = static_cast<std::int32_t>(built.size);
  // Most results are ASCII, whose characters need no counting.
  const std::int32_t chars = IsASCII(bytes, built.size) ? size : -1;
  // The result takes the buffer over, with its spare room: a few dozen
  // bytes unless a long value made it grow.
  bytes[built.size] = 0;
  result = make<CString>(bytes, size, chars, true, GetUTF8CharEncoding(), StringMode::kAdopt);
  static_cast<void>(built.bytes.release());
  return result;
}

// A result of at most 16 MiB. Widths and precisions come from the format,
// which a language pack supplies; a field of a billion blanks, which printf
// would write, would take the program's memory instead, so a format that
// asks for more is refused as invalid.
constexpr std::size_t kMaxResultBytes = std::size_t{1} << 24;

void CStringFormat::grow(std::size_t count) {
  if (count > kMaxResultBytes - built.size)
    fail("lumo.CStringFormat.InvalidFormat", "CStringFormat: invalid format string.");
  const std::size_t capacity = std::min(std::max(built.size + count, 2 * built.capacity), kMaxResultBytes);
  // One byte more for the NUL behind the result.
  std::unique_ptr<std::uint8_t[]> larger(CString::allocate(static_cast<std::int32_t>(capacity + 1)));
  if (built.size > 0) std::memcpy(larger.get(), built.bytes.get(), built.size);
  built.bytes = std::move(larger);
  built.capacity = capacity;
}

void CStringFormat::readToArgument() {
  switch (state.step) {
    case Step::kText:
      if (!copyText()) return;
      state.field.clear();
      readFlags();
      if (peek() == '*') {
        ++state.next;
        state.step = Step::kWidthArgument;
        return;
      }
      state.field.width = readNumber();
      [[fallthrough]];
    case Step::kAfterWidth:
      if (peek() == '.') {
        ++state.next;
        if (peek() == '*') {
          ++state.next;
          state.step = Step::kPrecisionArgument;
          return;
        }
        // "." without digits is precision 0, as in printf.
        state.field.precision = std::max(readNumber(), 0);
      }
      [[fallthrough]];
    case Step::kAfterPrecision:
      readLengthAndConversion();
      state.step = Step::kValueArgument;
      return;
    default:
      return;
  }
}

bool CStringFormat::copyText() {
  for (;;) {
    const std::size_t rest = format.size() - state.next;
    const std::size_t run = CopyToPercent(format.data() + state.next, rest, reserve(rest + 16));
    built.size += run;
    state.next += run;
    if (run == rest) return false;
    ++state.next;
    if (peek() != '%') return true;
    *reserve(1) = '%';
    ++built.size;
    ++state.next;
  }
}

void CStringFormat::readFlags() {
  for (std::size_t count = 0;; ++count) {
    Flag flag;
    switch (peek()) {
      case '-':
        flag = kLeft;
        break;
      case '+':
        flag = kSign;
        break;
      case '0':
        flag = kZero;
        break;
      case ' ':
        flag = kBlank;
        break;
      case '#':
        flag = kAlternative;
        break;
      default:
        return;
    }
    if (count == kMaxFlags) fail("lumo.CStringFormat.TooManyFlags", "CStringFormat: too many field flags specified.");
    state.field.flags |= flag;
    ++state.next;
  }
}

std::int32_t CStringFormat::readNumber() {
  std::int64_t number = -1;
  for (; peek() >= '0' && peek() <= '9'; ++state.next) {
    number = std::max<std::int64_t>(number, 0) * 10 + (peek() - '0');
    if (number > INT_MAX) fail("lumo.CStringFormat.InvalidFormat", "CStringFormat: invalid format string.");
  }
  return static_cast<std::int32_t>(number);
}

void CStringFormat::readLengthAndConversion() {
  std::size_t size = 1;
  switch (peek()) {
    case 'h':
      state.field.length = peek(1) == 'h' ? Length::kChar : Length::kShort;
      size += peek(1) == 'h';
      break;
    case 'l':
      state.field.length = peek(1) == 'l' ? Length::kOther : Length::kLong;
      size += peek(1) == 'l';
      break;
    case 'L':
    case 'z':
    case 'j':
    case 't':
      state.field.length = Length::kOther;
      break;
    case 'I':
      if (format.substr(state.next, 3) == "I64") {
        state.field.length = Length::kOther;
        size = 3;
      }
      break;
    default:
      break;
  }
  if (state.field.length != Length::kNone) state.next += size;
  const char conversion = peek();
  Kind kind = Kind::kNone;
  switch (conversion) {
    case 'c':
    case 'C':
    case 'd':
    case 'i':
    case 'o':
    case 'x':
    case 'X':
    case 'u':
      kind = Kind::kInteger;
      break;
    case 'e':
    case 'E':
    case 'f':
    case 'g':
    case 'G':
      kind = Kind::kFloat;
      break;
    case 's':
    case 'S':
      kind = Kind::kString;
      break;
    default:
      fail("lumo.CStringFormat.InvalidFormat", "CStringFormat: invalid format string.");
  }
  state.field.conversion = conversion;
  state.field.kind = kind;
  ++state.next;
}

std::int32_t CStringFormat::starValue(const Argument& argument, const char* key, const char* text) {
  // The value must fit an int, as printf's "*" takes one.
  const auto value = static_cast<std::int64_t>(argument.bits);
  const bool fits = argument.isSigned ? value >= -INT_MAX && value <= INT_MAX : argument.bits <= INT_MAX;
  if (argument.kind != Kind::kInteger || !fits) fail(key, text);
  return static_cast<std::int32_t>(value);
}

void CStringFormat::render(const Argument& argument) {
  const Field& field = state.field;
  if (argument.kind != field.kind) {
    fail("lumo.CStringFormat.ArgumentMismatch",
         "CStringFormat: argument does not match the field's format specification.");
  }
  switch (field.kind) {
    case Kind::kInteger:
      if (field.conversion == 'c' || field.conversion == 'C') return renderCharacter(argument);
      return renderInteger(argument);
    case Kind::kFloat:
      return renderFloat(argument.number);
    default:
      return renderString(*argument.text);
  }
}

void CStringFormat::renderInteger(const Argument& argument) {
  const Field& field = state.field;
  std::int32_t bits = argument.width;
  if (field.length == Length::kShort) bits = std::min(bits, 16);
  if (field.length == Length::kChar) bits = std::min(bits, 8);
  const int unused = 64 - bits;
  const bool isSigned = field.conversion == 'd' || field.conversion == 'i';
  std::uint64_t magnitude = argument.bits << unused >> unused;
  bool negative = false;
  if (isSigned) {
    const std::int64_t value = static_cast<std::int64_t>(argument.bits << unused) >> unused;
    negative = value < 0;
    magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  }
  // The digits, none for a zero of precision 0, as printf writes them.
  const int base = field.conversion == 'o' ? 8 : field.conversion == 'x' || field.conversion == 'X' ? 16 : 10;
  char digits[24];
  char* end =
      field.precision == 0 && magnitude == 0 ? digits : std::to_chars(digits, std::end(digits), magnitude, base).ptr;
  if (field.conversion == 'X')
    std::transform(digits, end, digits, [](char c) { return c >= 'a' ? static_cast<char>(c - 'a' + 'A') : c; });
  const auto count = static_cast<std::int32_t>(end - digits);
  std::string_view prefix = negative                       ? "-"sv
                            : isSigned && field.has(kSign)  ? "+"sv
                            : isSigned && field.has(kBlank) ? " "sv
                                                            : ""sv;
  std::int32_t zeros = std::max(field.precision - count, 0);
  if (field.has(kAlternative)) {
    // The alternative form: octal starts with a 0, non-zero hexadecimal with 0x.
    if (field.conversion == 'o' && zeros == 0 && (count == 0 || digits[0] != '0')) zeros = 1;
    if (field.conversion != 'o' && base == 16 && magnitude != 0) prefix = field.conversion == 'x' ? "0x"sv : "0X"sv;
  }
  // A precision turns the "0" flag off, as in printf.
  appendNumber(prefix, zeros, std::string_view(digits, static_cast<std::size_t>(count)), field.precision < 0);
}

void CStringFormat::appendNumber(std::string_view prefix, std::int32_t zeros, std::string_view digits, bool zeroFill) {
  const Field& field = state.field;
  const auto length = static_cast<std::int32_t>(prefix.size() + digits.size()) + zeros;
  std::int32_t padding = std::max(field.width - length, 0);
  const bool left = field.has(kLeft);
  // "0" pads with zeros behind the sign, unless the field aligns left.
  if (zeroFill && field.has(kZero) && !left) zeros += std::exchange(padding, 0);
  const auto blanks = static_cast<std::size_t>(padding);
  const std::size_t total = blanks + prefix.size() + static_cast<std::size_t>(zeros) + digits.size();
  char* out = reserve(total);
  if (!left) out = std::fill_n(out, blanks, ' ');
  out = std::copy(prefix.begin(), prefix.end(), out);
  out = std::fill_n(out, zeros, '0');
  out = std::copy(digits.begin(), digits.end(), out);
  if (left) std::fill_n(out, blanks, ' ');
  built.size += total;
}

void CStringFormat::renderFloat(double value) {
  const Field& field = state.field;
  // to_chars writes a finite number as printf does in the "C" locale, and
  // faster. The alternative form, infinities and NaNs, and a locale's
  // decimal point other than "." go through snprintf.
  const char* point = std::localeconv()->decimal_point;
  if (std::isfinite(value) && !field.has(kAlternative) && point[0] == '.' && point[1] == 0) {
    const char lower = static_cast<char>(field.conversion | 0x20);
    const std::chars_format form = lower == 'f'   ? std::chars_format::fixed
                                   : lower == 'e' ? std::chars_format::scientific
                                                  : std::chars_format::general;
    char digits[400];
    const auto [end, error] =
        std::to_chars(digits, std::end(digits), std::fabs(value), form, field.precision < 0 ? 6 : field.precision);
    if (error == std::errc{}) {
      if (field.conversion != lower) std::transform(digits, end, digits, [](char c) { return c == 'e' ? 'E' : c; });
      const std::string_view sign = std::signbit(value)    ? "-"sv
                                    : field.has(kSign)     ? "+"sv
                                    : field.has(kBlank)    ? " "sv
                                                           : ""sv;
      appendNumber(sign, 0, std::string_view(digits, static_cast<std::size_t>(end - digits)), true);
      return;
    }
  }
  // "%", the five flags, two numbers of ten digits, ".", the conversion and
  // the NUL.
  char directive[32];
  char* end = directive;
  *end++ = '%';
  for (const auto& [flag, c] : {std::pair{kLeft, '-'}, std::pair{kSign, '+'}, std::pair{kZero, '0'},
                                std::pair{kBlank, ' '}, std::pair{kAlternative, '#'}}) {
    if (field.has(flag)) *end++ = c;
  }
  if (field.width >= 0) end = std::to_chars(end, directive + sizeof directive, field.width).ptr;
  if (field.precision >= 0) {
    *end++ = '.';
    end = std::to_chars(end, directive + sizeof directive, field.precision).ptr;
  }
  *end++ = field.conversion;
  *end = 0;
  // snprintf writes into the text's spare room: most numbers fit 128 bytes,
  // a longer one is written again into the room it asks for.
  std::size_t room = 128;
  char* text = reserve(room);
  int written = std::snprintf(text, room, directive, value);
  if (written >= static_cast<int>(room)) {
    room = static_cast<std::size_t>(written) + 1;
    text = reserve(room);
    written = std::snprintf(text, room, directive, value);
  }
  if (written < 0) fail("lumo.CStringFormat.InvalidFormat", "CStringFormat: invalid format string.");
  const auto bytes = static_cast<std::size_t>(written);
  if (IsASCII(reinterpret_cast<const std::uint8_t*>(text), bytes)) {
    built.size += bytes;
  } else {
    // A decimal point or sign of the locale outside ASCII, in its code page:
    // the copy converted to UTF-8 takes the place of the bytes written.
    append(Bytes(AsUTF8(make<CCPString>(reinterpret_cast<const std::uint8_t*>(text), written))));
  }
}

template <class Write>
void CStringFormat::appendPadded(std::int32_t chars, Write&& write) {
  // Strings and characters are padded with blanks whatever the flags, as
  // printf pads them.
  const std::size_t padding = static_cast<std::size_t>(std::max(state.field.width - chars, 0));
  const bool left = state.field.has(kLeft);
  if (!left) appendRepeated(padding, ' ');
  write();
  if (left) appendRepeated(padding, ' ');
}

void CStringFormat::renderCharacter(const Argument& argument) {
  const bool wide = state.field.conversion == 'C' || state.field.length == Length::kLong;
  const auto c = static_cast<CodePoint>(wide ? argument.bits & 0xFFFFFFFFu : argument.bits & 0xFFu);
  std::uint8_t encoded[8];
  std::int32_t bytes = GetUTF8CharEncoding()->encodeChar(c, encoded, sizeof encoded, 0);
  if (bytes == 0) encoded[bytes++] = '?';
  appendPadded(1, [&] { append(reinterpret_cast<const char*>(encoded), static_cast<std::size_t>(bytes)); });
}

void CStringFormat::renderString(const String& text) {
  // printf prints a null string pointer this way too.
  if (text.isNull()) return renderString("(null)");
  std::int32_t chars = text.length();
  if (state.field.precision >= 0 && state.field.precision < chars) chars = state.field.precision;
  if (IsUTF8(text)) {
    const std::int32_t bytes = chars == text.length() ? text->byteLength() : text->makePosition(chars).offset;
    appendPadded(chars, [&] { append(reinterpret_cast<const char*>(text->data()), static_cast<std::size_t>(bytes)); });
    return;
  }
  // Other encodings are written into the result as UTF-8 directly.
  appendPadded(chars, [&] { appendAsUTF8(*text, chars); });
}

void CStringFormat::appendAsUTF8(const IString& text, std::int32_t chars) {
  // By reference: the text holds its encoding for the whole call.
  const P<ICharEncoding>& from = text.getEncoding();
  std::int32_t offset = 0;
  std::int32_t remaining = chars;
  if (from->getId() == kUTF16EncodingId) {
    // UTF-16 text is mostly ASCII: its leading run of ASCII units is copied
    // across sixteen (or four) units at a time, without decoding and
    // encoding each character.
    const std::uint8_t* units = text.data();
    const std::int32_t most = std::min(remaining, text.byteLength() / 2);
    char* out = reserve(static_cast<std::size_t>(most));
    std::int32_t run = 0;
#if defined(__SSE2__)
    for (const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80)); most - run >= 16; run += 16) {
      const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + 2 * run));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + 2 * run + 16));
      const __m128i above = _mm_and_si128(_mm_or_si128(low, next), high);
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(above, _mm_setzero_si128())) != 0xFFFF) break;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + run), _mm_packus_epi16(low, next));
    }
#endif
    for (std::uint16_t four[4]; most - run >= 4; run += 4) {
      std::memcpy(four, units + 2 * run, sizeof four);
      if ((four[0] | four[1] | four[2] | four[3]) >= 0x80) break;
      for (int i = 0; i < 4; ++i) out[run + i] = static_cast<char>(four[i]);
    }
    for (std::uint16_t unit; run < most; ++run) {
      std::memcpy(&unit, units + 2 * run, sizeof unit);
      if (unit >= 0x80) break;
      out[run] = static_cast<char>(unit);
    }
    built.size += static_cast<std::size_t>(run);
    offset = 2 * run;
    remaining -= run;
  }
  if (remaining <= 0) return;
  const P<ICharEncoding>& utf8 = GetUTF8CharEncoding();
  CodePoint block[64];
  while (remaining > 0) {
    std::int32_t count = 0;
    offset = from->decodeChars(block, std::min<std::int32_t>(remaining, 64), count, text.data(), text.byteLength(),
                               offset, nullptr);
    if (count == 0) break;
    remaining -= count;
    // Four bytes at most for each character.
    auto* encoded = reinterpret_cast<std::uint8_t*>(reserve(64 * 4));
    std::int32_t used = 0;
    for (std::int32_t i = 0; i < count; ++i) {
      if (block[i] < 0x80) {
        encoded[used++] = static_cast<std::uint8_t>(block[i]);
        continue;
      }
      // What UTF-8 cannot hold (a lone surrogate's value) is a "?", as a conversion writes it.
      std::int32_t behind = utf8->encodeChar(block[i], encoded, 64 * 4, used);
      if (behind == used) encoded[behind++] = '?';
      used = behind;
    }
    built.size += static_cast<std::size_t>(used);
  }
}

void CStringFormat::fail(const char* key, const char* text) {
  throw CInvalidArgError(this, nullptr, operation, Localize(key, text));
}

}  // namespace lumo
