#include "localization/StringFormat.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>

#include "foundation/CString.h"
#include "foundation/Exception.h"
#include "foundation/IStringLocalizer.h"

namespace lumo {

// One pushed value and its kind. Integers keep their bits extended to 64
// (signed ones with their sign) and the width they were pushed with.
struct CStringFormat::Argument {
  enum class Kind : std::uint8_t { kInteger, kFloat, kString };

  Kind kind;
  std::uint64_t bits = 0;
  std::int32_t width = 0;
  bool isSigned = false;
  double number = 0;
  const String* text = nullptr;
};

namespace {

constexpr char kFlags[] = "-+0 #";
// More flag characters than this in one field are an error, though only
// five differ: repeating one is harmless to printf, but a run of them is
// no sensible field.
constexpr std::size_t kMaxFlags = 6;
constexpr char kIntegerConversions[] = "cCdioxXu";
constexpr char kFloatConversions[] = "eEfgG";
constexpr char kStringConversions[] = "sS";

bool IsOneOf(char c, const char* set) { return c != 0 && std::strchr(set, c) != nullptr; }

// `text` as UTF-8: itself when its bytes are UTF-8 already, as they are
// for ASCII in Latin-1, the form of most format literals.
String AsUTF8(const String& text) {
  const std::uint8_t* data = text->data();
  const bool same = text->hasEncoding(kUTF8EncodingId) ||
                    (text->hasEncoding(kLatin1EncodingId) &&
                     std::all_of(data, data + text->byteLength(), [](std::uint8_t c) { return c < 0x80; }));
  return same ? text : CString::convert(*text, GetUTF8CharEncoding());
}

std::string Bytes(const String& text) {
  const String utf8 = AsUTF8(text);
  return std::string(reinterpret_cast<const char*>(utf8->data()), static_cast<std::size_t>(utf8->byteLength()));
}

}  // namespace

CStringFormat::CStringFormat(const String& format) : format(Bytes(format)), scratch(21) {
  built.reserve(this->format.size() + 64);
}

CStringFormat& CStringFormat::push(std::int32_t value) {
  return accept({Argument::Kind::kInteger, static_cast<std::uint64_t>(std::int64_t{value}), 32, true});
}
CStringFormat& CStringFormat::push(std::uint32_t value) {
  return accept({Argument::Kind::kInteger, value, 32, false});
}
CStringFormat& CStringFormat::push(std::int64_t value) {
  return accept({Argument::Kind::kInteger, static_cast<std::uint64_t>(value), 64, true});
}
CStringFormat& CStringFormat::push(std::uint64_t value) {
  return accept({Argument::Kind::kInteger, value, 64, false});
}
CStringFormat& CStringFormat::push(double value) {
  Argument argument{Argument::Kind::kFloat};
  argument.number = value;
  return accept(argument);
}
CStringFormat& CStringFormat::push(const String& value) {
  Argument argument{Argument::Kind::kString};
  argument.text = &value;
  return accept(argument);
}

template <class Work>
void CStringFormat::undoOnError(const char* name, Work&& work) {
  const State before = state;
  const std::size_t builtBefore = built.size();
  operation = name;
  try {
    work();
  } catch (...) {
    state = before;
    built.resize(builtBefore);
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
        if (width < 0) state.field.flags[state.field.flagCount++] = '-';
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
  undoOnError("getResult", [&] { readToArgument(); });
  if (state.step != Step::kText) {
    throw CInvalidObjectStateError(
        this, nullptr,
        Localize("lumo.CStringFormat.NotAllPushed", "CStringFormat: not all parameters have been pushed in yet"));
  }
  return make<CUTF8String>(reinterpret_cast<const std::uint8_t*>(built.data()),
                           static_cast<std::int32_t>(built.size()));
}

void CStringFormat::readToArgument() {
  switch (state.step) {
    case Step::kText:
      if (!copyText()) return;
      state.field = Field{};
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
    const std::size_t percent = format.find('%', state.next);
    built.append(format, state.next, percent == std::string::npos ? std::string::npos : percent - state.next);
    if (percent == std::string::npos) {
      state.next = format.size();
      return false;
    }
    state.next = percent + 1;
    if (peek() != '%') return true;
    built += '%';
    ++state.next;
  }
}

void CStringFormat::readFlags() {
  while (IsOneOf(peek(), kFlags)) {
    if (state.field.flagCount == kMaxFlags) {
      fail("lumo.CStringFormat.TooManyFlags", "CStringFormat: too many field flags specified.");
    }
    state.field.flags[state.field.flagCount++] = format[state.next++];
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
      if (peek(1) == '6' && peek(2) == '4') {
        state.field.length = Length::kOther;
        size = 3;
      }
      break;
    default:
      break;
  }
  if (state.field.length != Length::kNone) state.next += size;
  const char conversion = peek();
  if (!IsOneOf(conversion, kIntegerConversions) && !IsOneOf(conversion, kFloatConversions) &&
      !IsOneOf(conversion, kStringConversions)) {
    fail("lumo.CStringFormat.InvalidFormat", "CStringFormat: invalid format string.");
  }
  state.field.conversion = conversion;
  ++state.next;
}

std::int32_t CStringFormat::starValue(const Argument& argument, const char* key, const char* text) {
  // The value must fit an int, as printf's "*" takes one.
  const auto value = static_cast<std::int64_t>(argument.bits);
  const bool fits = argument.isSigned ? value >= -INT_MAX && value <= INT_MAX : argument.bits <= INT_MAX;
  if (argument.kind != Argument::Kind::kInteger || !fits) fail(key, text);
  return static_cast<std::int32_t>(value);
}

void CStringFormat::render(const Argument& argument) {
  const char conversion = state.field.conversion;
  const Argument::Kind wanted = IsOneOf(conversion, kIntegerConversions) ? Argument::Kind::kInteger
                                : IsOneOf(conversion, kFloatConversions) ? Argument::Kind::kFloat
                                                                         : Argument::Kind::kString;
  if (argument.kind != wanted) {
    fail("lumo.CStringFormat.ArgumentMismatch",
         "CStringFormat: argument does not match the field's format specification.");
  }
  if (conversion == 'c' || conversion == 'C') {
    renderCharacter(argument);
  } else if (wanted == Argument::Kind::kInteger) {
    renderInteger(argument);
  } else if (wanted == Argument::Kind::kFloat) {
    renderFloat(argument.number);
  } else {
    renderString(*argument.text);
  }
}

void CStringFormat::renderInteger(const Argument& argument) {
  std::int32_t bits = argument.width;
  if (state.field.length == Length::kShort) bits = std::min(bits, 16);
  if (state.field.length == Length::kChar) bits = std::min(bits, 8);
  const std::size_t size =
      static_cast<std::size_t>(std::max({23, state.field.width, state.field.precision + 2}));
  const int unused = 64 - bits;
  if (state.field.conversion == 'd' || state.field.conversion == 'i') {
    const auto value = static_cast<long long>(static_cast<std::int64_t>(argument.bits << unused) >> unused);
    renderNumber("ll", size, value);
  } else {
    const auto value = static_cast<unsigned long long>(argument.bits << unused >> unused);
    renderNumber("ll", size, value);
  }
}

void CStringFormat::renderFloat(double value) {
  // Room for every digit a double can have before the point (one in the
  // exponent forms), the precision, and the sign, point and exponent.
  const std::int32_t before = IsOneOf(state.field.conversion, "fgG") ? 308 : 1;
  const std::int32_t digits = state.field.precision < 0 ? 20 : state.field.precision;
  const std::int64_t size = std::max<std::int64_t>(state.field.width, std::int64_t{before} + digits + 21);
  renderNumber("", static_cast<std::size_t>(size), value);
}

template <class T>
void CStringFormat::renderNumber(const char* cType, std::size_t size, T value) {
  // "%", at most seven flags, two numbers of ten digits, ".", "ll", the
  // conversion and the NUL.
  char spec[40];
  char* end = spec;
  *end++ = '%';
  end = std::copy_n(state.field.flags, state.field.flagCount, end);
  if (state.field.width >= 0) end = std::to_chars(end, spec + sizeof spec, state.field.width).ptr;
  if (state.field.precision >= 0) {
    *end++ = '.';
    end = std::to_chars(end, spec + sizeof spec, state.field.precision).ptr;
  }
  while (*cType) *end++ = *cType++;
  *end++ = state.field.conversion;
  *end = 0;
  if (scratch.size() < size + 1) scratch.resize(size + 1);
  // The size above always suffices; a field that does not fit is refused
  // rather than cut.
  const int written = std::snprintf(scratch.data(), scratch.size(), spec, value);
  if (written < 0 || static_cast<std::size_t>(written) >= scratch.size()) {
    fail("lumo.CStringFormat.InvalidFormat", "CStringFormat: invalid format string.");
  }
  const auto bytes = static_cast<std::size_t>(written);
  const auto ascii = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
  if (!std::all_of(scratch.data(), scratch.data() + bytes, ascii)) {
    // A decimal point or sign of the locale outside ASCII, in its code page.
    built += Bytes(make<CCPString>(reinterpret_cast<const std::uint8_t*>(scratch.data()), written));
  } else {
    built.append(scratch.data(), bytes);
  }
}

void CStringFormat::renderCharacter(const Argument& argument) {
  const bool wide = state.field.conversion == 'C' || state.field.length == Length::kLong;
  const auto c = static_cast<CodePoint>(wide ? argument.bits & 0xFFFFFFFFu : argument.bits & 0xFFu);
  std::uint8_t encoded[8];
  std::int32_t bytes = GetUTF8CharEncoding()->encodeChar(c, encoded, sizeof encoded, 0);
  if (bytes == 0) encoded[bytes++] = '?';
  appendPadded(reinterpret_cast<const char*>(encoded), static_cast<std::size_t>(bytes), 1);
}

void CStringFormat::renderString(const String& value) {
  // printf prints a null string pointer this way too.
  const String utf8 = AsUTF8(value.isNull() ? String("(null)") : value);
  std::int32_t chars = utf8.length();
  std::int32_t bytes = utf8->byteLength();
  if (state.field.precision >= 0 && state.field.precision < chars) {
    chars = state.field.precision;
    bytes = utf8->makePosition(chars).offset;
  }
  appendPadded(reinterpret_cast<const char*>(utf8->data()), static_cast<std::size_t>(bytes), chars);
}

void CStringFormat::appendPadded(const char* text, std::size_t bytes, std::int32_t chars) {
  // Strings and characters are padded with blanks whatever the flags, as
  // printf pads them.
  const std::size_t padding = static_cast<std::size_t>(std::max(state.field.width - chars, 0));
  const bool left = std::memchr(state.field.flags, '-', state.field.flagCount) != nullptr;
  if (!left) built.append(padding, ' ');
  built.append(text, bytes);
  if (left) built.append(padding, ' ');
}

void CStringFormat::fail(const char* key, const char* text) {
  throw CInvalidArgError(this, nullptr, operation, Localize(key, text));
}

}  // namespace lumo
