// The machinery every string operation is written with: borrowed views of
// texts, a reader that decodes them in blocks, the fits-in-encoding test and
// the builder that joins pieces into a new string. Internal to the string
// classes of foundation/; nothing outside them includes it.
//
//   // Does `other` occur at the start of this string?
//   detail::TextView theirs(other);  // an IString, or plain char / char16_t text
//   detail::TextReader a(detail::TextView(*this)), b(theirs);
//   for (CodePoint x, y; b.next(y);) if (!a.next(x) || x != y) return false;
//   return true;
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include "foundation/ICharEncoding.h"
#include "foundation/IString.h"

namespace lumo::detail {

// Enough zero bytes for an encoded NUL in any encoding: the text of null
// strings and of null text arguments.
inline constexpr std::uint8_t kNoText[16] = {};

// A text borrowed for the length of one call: its bytes, their encoding and
// its character count. A view is no object and holds no reference; it can
// be neither copied nor moved nor allocated, and nothing turns it into a
// String, so a view of an argument (a caller's char buffer, a string on the
// caller's stack) cannot outlive the call that made it. Results are built
// by copying (Build).
class TextView {
 public:
  explicit TextView(const IString& text)
      : bytes(text.data()), size(text.byteLength()), encoding(*text.getEncoding()), chars(text.length()) {}
  // Plain text arguments are read in place up to their NUL: char text as
  // Latin-1, char16_t text as UTF-16. A null pointer is the empty text.
  explicit TextView(const char* latin1)
      : TextView(latin1 ? reinterpret_cast<const std::uint8_t*>(latin1) : kNoText, *GetLatin1CharEncoding()) {}
  explicit TextView(const char16_t* utf16)
      : TextView(utf16 ? reinterpret_cast<const std::uint8_t*>(utf16) : kNoText, *GetUTF16CharEncoding()) {}
  // `count` code points, read as UTF-32: single characters and mapped text
  // joining a string being built.
  TextView(const CodePoint* utf32, std::int32_t count)
      : bytes(count > 0 ? reinterpret_cast<const std::uint8_t*>(utf32) : kNoText),
        size(count > 0 ? 4 * count : 0),
        encoding(*GetUTF32CharEncoding()),
        chars(count > 0 ? count : 0) {}

  TextView(const TextView&) = delete;
  TextView& operator=(const TextView&) = delete;
  static void* operator new(std::size_t) = delete;
  static void* operator new[](std::size_t) = delete;

  bool hasEncoding(const ICharEncoding& other) const { return encoding.getId() == other.getId(); }

  const std::uint8_t* const bytes;
  const std::int32_t size;
  const ICharEncoding& encoding;
  const std::int32_t chars;

 private:
  TextView(const std::uint8_t* terminated, const ICharEncoding& encoding)
      : TextView(terminated, encoding, encoding.getTerminatedSize(terminated)) {}
  TextView(const std::uint8_t* bytes, const ICharEncoding& encoding, std::int32_t size)
      : bytes(bytes), size(size), encoding(encoding), chars(encoding.countChars(bytes, size, 0)) {}
};

enum class Direction { kForwards, kBackwards };

// Hands out a text's code points one by one, decoding up to 16 at a time
// with the encoding's decodeChars (forwards, from `offset` to `end`) or
// decodeCharsBackwards (backwards, from `offset` down to `end`). Invalid
// bytes are skipped as the lenient decoders skip them. Backwards over an
// encoding that cannot walk backwards raises CMethodNotImplementedError.
template <Direction D = Direction::kForwards>
class TTextReader {
 public:
  static constexpr std::int32_t kBlock = 16;

  TTextReader(const std::uint8_t* bytes, std::int32_t size, const ICharEncoding& encoding, std::int32_t offset,
              std::int32_t end)
      : bytes(bytes), size(size), encoding(encoding), offset(offset), end(end) {}
  // The whole text from `offset` on (forwards) or before `offset` (backwards;
  // -1 stands for the end of the text).
  explicit TTextReader(const TextView& text, std::int32_t offset = D == Direction::kForwards ? 0 : -1)
      : TTextReader(text.bytes, text.size, text.encoding, offset < 0 ? text.size : offset,
                    D == Direction::kForwards ? text.size : 0) {}

  bool next(CodePoint& c) {
    if (at == count && !refill()) return false;
    c = chars[at++];
    ++taken;
    return true;
  }
  // Start offset of the code point that `next` returned last.
  std::int32_t lastStart() const { return starts[at - 1]; }
  // Offset behind the code point that `next` returned last.
  std::int32_t lastEnd() const {
    const std::int32_t start = starts[at - 1];
    return start + encoding.getCharSizeAt(bytes, D == Direction::kForwards ? end : size, start);
  }
  // Code points handed out so far.
  std::int32_t consumed() const { return taken; }

 private:
  bool refill() {
    at = count = 0;
    if constexpr (D == Direction::kForwards) {
      if (offset < 0 || offset >= end) return false;
      offset = encoding.decodeChars(chars, kBlock, count, bytes, end, offset, starts);
    } else {
      if (offset <= end || offset > size) return false;
      offset = encoding.decodeCharsBackwards(chars, kBlock, count, bytes, size, offset, starts);
      // A character that starts before the lower bound belongs to no one here.
      while (count > 0 && starts[count - 1] < end) --count;
    }
    return count > 0;
  }

  const std::uint8_t* bytes;
  std::int32_t size;
  const ICharEncoding& encoding;
  std::int32_t offset;
  std::int32_t end;
  CodePoint chars[kBlock];
  std::int32_t starts[kBlock];
  std::int32_t count = 0;
  std::int32_t at = 0;
  std::int32_t taken = 0;
};

using TextReader = TTextReader<Direction::kForwards>;
using BackwardTextReader = TTextReader<Direction::kBackwards>;

// The width of one code unit in `encoding` when every unit below 0x80 is a
// character of its own, whatever surrounds it (Latin-1, UTF-8, UTF-16,
// UTF-32); 0 for the code page, whose trailing bytes can look like ASCII.
inline std::int32_t AsciiUnitSize(const ICharEncoding& encoding) {
  switch (encoding.getId()) {
    case kLatin1EncodingId:
    case kUTF8EncodingId:
      return 1;
    case kUTF16EncodingId:
      return 2;
    case kUTF32EncodingId:
      return 4;
    default:
      return 0;
  }
}

// Reads a text forwards like TextReader, but takes ASCII units straight from
// the bytes and decodes with the encoding only the stretches between them.
// Since no character spans an ASCII unit, the code points are exactly those
// TextReader gives.
class AsciiFirstReader {
 public:
  AsciiFirstReader(const TextView& text, std::int32_t offset)
      : text(text), unit(AsciiUnitSize(text.encoding)), offset(offset < 0 ? text.size : offset) {}

  bool next(CodePoint& c) {
    if (stretch) {
      if (stretch->next(c)) return true;
      stretch.reset();
    }
    if (asciiAt(offset, c)) {
      offset += unit;
      return true;
    }
    return nextStretch(c);
  }
  // Whether the next code point is read from the bytes: no decoded stretch
  // is being handed out. position() is then where the reader stands.
  bool idle() const { return !stretch; }
  std::int32_t position() const { return offset; }
  // Moves on to `at`, a character start behind position() up to which the
  // caller has read itself (idle only).
  void moveTo(std::int32_t at) { offset = at; }

 private:
  bool asciiAt(std::int32_t at, CodePoint& c) const {
    if (unit == 0 || text.size - at < unit) return false;
    const std::uint8_t* in = text.bytes + at;
    if (unit == 1) {
      c = *in;
    } else if (unit == 2) {
      std::uint16_t u;
      std::memcpy(&u, in, 2);
      c = u;
    } else {
      std::uint32_t u;
      std::memcpy(&u, in, 4);
      c = u;
    }
    return c < 0x80;
  }
  bool nextStretch(CodePoint& c) {
    while (offset < text.size) {
      std::int32_t end = offset;
      CodePoint ignored;
      do {
        end += unit == 0 ? text.size - end : unit;
      } while (end < text.size && !asciiAt(end, ignored));
      end = end < text.size ? end : text.size;
      stretch.emplace(text.bytes, end, text.encoding, offset, end);
      offset = end;
      if (stretch->next(c)) return true;
      stretch.reset();
      if (asciiAt(offset, c)) {
        offset += unit;
        return true;
      }
    }
    return false;
  }

  const TextView& text;
  const std::int32_t unit;
  std::int32_t offset;
  std::optional<TextReader> stretch;
};

// Whether `c` can be written in `encoding`. Latin-1 writes "?" for what it
// cannot hold rather than refusing it, so for Latin-1 this asks the code
// point itself: up to 0xFF fits.
bool Fits(const ICharEncoding& encoding, CodePoint c);

// A byte range of a viewed text, one part of a string being built.
struct Piece {
  const TextView* text;
  std::int32_t from;
  std::int32_t to;
};

inline Piece Whole(const TextView& text) { return {&text, 0, text.size}; }

// A new, terminated string with a copy of `pieces` one after the other: in
// `preferred` when every character fits there, else in UTF-16, else in
// UTF-32. Pieces already in the target encoding are copied byte for byte.
String Build(std::span<const Piece> pieces, const P<ICharEncoding>& preferred);

}  // namespace lumo::detail
