// printf-style formatting of the library's messages, with the arguments
// pushed one at a time in the order of the fields.
//
//   const lumo::P<lumo::CStringFormat> format =
//       lumo::make<lumo::CStringFormat>(u"Sector %u of '%s' (%5.1f%%)");
//   format->push(std::uint32_t{1024}).push(path).push(42.5);
//   lumo::String text = format->getResult();   // "Sector 1024 of 'a.iso' ( 42.5%)"
//
// A field is "%" [flags] [width] [.precision] [length] conversion, read as
// printf reads it; "*" takes a width or precision from the next pushed
// integer. Each push is checked against the field it fills: a malformed
// field or an argument of the wrong kind raises CInvalidArgError at that
// push and leaves the formatter as it was, so what was built so far never
// leaves it.
//
// The formatter knows the type of each pushed value, so a length modifier
// only narrows: "h" and "hh" cut an integer to 16 and 8 bits, as printf's
// conversion to short and char does; "l", "ll", "L", "z", "j", "t" and "I64"
// are accepted and leave the value as pushed. Integers are read as signed
// for "d" and "i" and as unsigned otherwise, at the width they were pushed
// with (-1 pushed as 32 bits prints "4294967295" with "%u").
//
// The result is UTF-8. "s" and "S" take a string of any encoding and
// convert it, so neither loses a character; width and precision count
// characters, not bytes. "c" writes the low 8 bits of an integer as a
// Latin-1 character, "C" and "lc" the integer as a code point ("?" when it
// is none). Numbers follow the process locale's decimal point, as printf's
// do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "foundation/Object.h"
#include "foundation/String.h"

namespace lumo {

class CStringFormat final : public CObject {
 public:
  // A null format is the empty format.
  explicit CStringFormat(const String& format);

  // The argument of the next field, or of its "*" width or precision.
  CStringFormat& push(std::int32_t value);
  CStringFormat& push(std::uint32_t value);
  CStringFormat& push(std::int64_t value);
  CStringFormat& push(std::uint64_t value);
  CStringFormat& push(double value);
  CStringFormat& push(const String& value);

  // The formatted text once every field has its argument; before that,
  // CInvalidObjectStateError. A malformed field still ahead raises the same
  // CInvalidArgError a push would.
  String getResult();

 private:
  struct Argument;

  // What a conversion takes; kNone for a character that is no conversion.
  enum class Kind : std::uint8_t { kNone, kInteger, kFloat, kString };

  // Where the reading of the format stands.
  enum class Step : std::uint8_t {
    kText,               // between fields: literal text comes next
    kWidthArgument,      // the field's "*" width waits for an integer
    kAfterWidth,         // the precision comes next
    kPrecisionArgument,  // the field's "*" precision waits for an integer
    kAfterPrecision,     // the length modifier and conversion come next
    kValueArgument,      // the field is read and waits for its value
  };

  enum class Length : std::uint8_t { kNone, kChar, kShort, kLong, kOther };

  // The flags of a field, one bit each: printf reads them in any order and
  // any number of times.
  enum Flag : std::uint8_t {
    kLeft = 1,          // "-"
    kSign = 2,          // "+"
    kZero = 4,          // "0"
    kBlank = 8,         // " "
    kAlternative = 16,  // "#"
  };

  struct Field {
    std::uint8_t flags = 0;       // Flag bits
    std::int32_t width = -1;      // -1: none
    std::int32_t precision = -1;  // -1: none
    Length length = Length::kNone;
    char conversion = 0;
    Kind kind = Kind::kNone;  // what `conversion` takes

    // Member by member: a new Field copied in whole, read right behind these
    // small writes, stalled.
    void clear() {
      flags = 0;
      width = -1;
      precision = -1;
      length = Length::kNone;
    }
    bool has(Flag flag) const { return (flags & flag) != 0; }
  };

  struct State {
    std::size_t next = 0;  // byte offset into `format`
    Step step = Step::kText;
    Field field;
  };

  ~CStringFormat() override = default;

  // Runs `work` as the operation `name` (for error texts); when it raises,
  // the position and text are put back as they were.
  template <class Work>
  void undoOnError(const char* name, Work&& work);
  CStringFormat& accept(const Argument& argument);
  // Reads the format on until the next place that takes an argument, or
  // its end; appends the literal text passed on the way.
  void readToArgument();
  // Appends literal text up to the next field; false at the end.
  bool copyText();
  // The character `ahead` places on in the format; NUL past its end.
  char peek(std::size_t ahead = 0) const {
    return state.next + ahead < format.size() ? format[state.next + ahead] : '\0';
  }
  void readFlags();
  std::int32_t readNumber();
  void readLengthAndConversion();
  std::int32_t starValue(const Argument& argument, const char* key, const char* text);

  void render(const Argument& argument);
  void renderInteger(const Argument& argument);
  void renderFloat(double value);
  void renderCharacter(const Argument& argument);
  void renderString(const String& value);
  // Appends a sign or prefix, zeros and digits, padded to the field's width:
  // with zeros behind the prefix for the "0" flag when `zeroFill` allows,
  // else with blanks.
  void appendNumber(std::string_view prefix, std::int32_t zeros, std::string_view digits, bool zeroFill);
  // Runs `write`, which appends `chars` characters, between the padding to
  // the field's width.
  template <class Write>
  void appendPadded(std::int32_t chars, Write&& write);
  // Appends the first `chars` characters of `text` in UTF-8.
  void appendAsUTF8(const IString& text, std::int32_t chars);

  // Room for `count` more bytes behind the text; where they go.
  char* reserve(std::size_t count) {
    if (built.capacity - built.size < count) grow(count);
    return reinterpret_cast<char*>(built.bytes.get()) + built.size;
  }
  void grow(std::size_t count);
  void append(const char* bytes, std::size_t count) {
    std::memcpy(reserve(count), bytes, count);
    built.size += count;
  }
  void append(std::string_view bytes) { append(bytes.data(), bytes.size()); }
  void appendRepeated(std::size_t count, char c) {
    std::memset(reserve(count), c, count);
    built.size += count;
  }

  [[noreturn]] void fail(const char* key, const char* text);

  const String formatText;        // UTF-8
  const std::string_view format;  // its bytes
  State state;
  // The UTF-8 text built so far, in a buffer (from CString::allocate) that
  // the result takes over.
  struct Built {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
    std::size_t capacity = 0;  // a byte more behind it holds the result's NUL
  } built;
  // The result once read; its text cannot change any more.
  P<IString> result;
  const char* operation = "push";
};

}  // namespace lumo
