#include "foundation/CString.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <cwchar>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "compat/win32/Utf8.h"
#include "compat/win32/Utf8Block.h"
#include "foundation/CStringSlice.h"
#include "foundation/CaseTable.h"
#include "foundation/Cast.h"
#include "foundation/Exception.h"
#include "foundation/IArray.h"
#include "foundation/StringEngine.h"

namespace lumo {

using detail::AsciiFirstReader;
using detail::BackwardTextReader;
using detail::Build;
using detail::Fits;
using detail::Piece;
using detail::TextReader;
using detail::TextView;
using detail::Whole;

CString::CString(const void* data, std::int32_t byteLength, std::int32_t charCount, bool terminated,
                 P<ICharEncoding> encoding, StringMode mode)
    : terminated(terminated), encoding(encoding ? std::move(encoding) : GetLatin1CharEncoding()) {
  auto source = static_cast<const std::uint8_t*>(data);
  if (!source) {
    source = detail::kNoText;
    byteLength = 0;
    mode = StringMode::kBorrow;
  }
  if (byteLength < 0) {
    byteLength = this->encoding->getTerminatedSize(source);
    this->terminated = true;
  }
  bytes = byteLength;
  switch (mode) {
    case StringMode::kCopy: {
      const std::int32_t nulSize = std::max(this->encoding->getEncodedSize(0), 1);
      std::uint8_t* copy = allocate(bytes + nulSize);
      std::memcpy(copy, source, static_cast<std::size_t>(bytes));
      std::memset(copy + bytes, 0, static_cast<std::size_t>(nulSize));
      this->encoding->encodeChar(0, copy, bytes + nulSize, bytes);
      text = copy;
      this->terminated = true;
      ownsData = true;
      break;
    }
    case StringMode::kAdopt:
      text = source;
      ownsData = true;
      break;
    case StringMode::kBorrow:
      text = source;
      break;
  }
  chars = charCount >= 0 ? charCount : this->encoding->countChars(text, bytes, 0);
}

CString::CString(const CString& other)
    : CString(other.text, other.bytes, other.chars, other.terminated, other.encoding, StringMode::kCopy) {}

CString::CString(NullText, P<ICharEncoding> encoding)
    : CString(detail::kNoText, 0, 0, true, std::move(encoding), StringMode::kBorrow) {}

CString::~CString() {
  if (ownsData) delete[] text;
}

std::uint8_t* CString::allocate(std::int32_t bytes) { return new std::uint8_t[static_cast<std::size_t>(bytes)]; }

String CString::convert(const IString& text, const P<ICharEncoding>& encoding) {
  const std::int32_t questionSize = encoding->getEncodedSize('?');
  const std::size_t room = static_cast<std::size_t>(std::max(encoding->getMaxCharSize(), 4));
  std::vector<std::uint8_t> out(2 * room);
  std::int32_t at = 0;
  TextReader reader{TextView(text)};
  for (CodePoint c; reader.next(c);) {
    CodePoint written = Fits(*encoding, c) ? c : '?';
    if (written == '?' && questionSize == 0) continue;
    if (out.size() - static_cast<std::size_t>(at) < room) out.resize(out.size() * 2);
    at = encoding->encodeChar(written, out.data(), static_cast<std::int32_t>(out.size()), at);
  }
  return make<CString>(out.data(), at, -1, false, encoding, StringMode::kCopy);
}

std::int32_t CString::compareTo(const IComparable& other) const {
  const IString* string = cast<IString>(const_cast<IComparable*>(&other));
  return string ? compare(*string, 0, -1) : 1;
}

// The rules of the string operations, each written once. Texts arrive as
// views (whatever form the caller gave), starts as positions or character
// indexes, and the case mode as a template argument; the overriders below
// only pick the rule.
namespace {

constexpr StringPosition kNone = StringPosition::none();

template <bool NoCase>
CodePoint Fold(CodePoint c) {
  if constexpr (NoCase) {
    return ToLowerCase(c);
  } else {
    return c;
  }
}

// Whether `at` is a place in `text`, its end included.
bool Within(const TextView& text, StringPosition at) {
  return at.index >= 0 && at.index <= text.chars && at.offset >= 0 && at.offset <= text.size;
}

StringPosition End(const TextView& text) { return {text.chars, text.size}; }

StringPosition PositionOf(const TextView& text, std::int32_t index) {
  if (index < 0 || index > text.chars) return kNone;
  return {index, text.encoding.getCharOffset(text.bytes, text.size, index)};
}

// A start as the caller gave it, checked: (-1, -1) when it is outside.
StringPosition At(const TextView& text, StringPosition at) { return Within(text, at) ? at : kNone; }
StringPosition At(const TextView& text, std::int32_t index) { return PositionOf(text, index); }

// The bound of a backward search: -1 and (-1, -1) stand for the end.
StringPosition Before(const TextView& text, StringPosition at) { return at.isNone() ? End(text) : At(text, at); }
StringPosition Before(const TextView& text, std::int32_t index) { return index == -1 ? End(text) : At(text, index); }

// Code-page text cannot be read backwards.
void RequireBackwards(const CString& self, const char* method) {
  if (!self.canIterateBackwards()) {
    throw CMethodNotImplementedError(const_cast<CString*>(&self), &typeid(self), String(method));
  }
}

// --- comparison ---

// How many bytes at the start of `a` and `b` are equal.
std::int32_t CommonPrefix(const std::uint8_t* a, const std::uint8_t* b, std::int32_t size) {
  constexpr std::int32_t kChunk = 256;
  std::int32_t at = 0;
  while (size - at >= kChunk && std::memcmp(a + at, b + at, kChunk) == 0) at += kChunk;
  return at + static_cast<std::int32_t>(std::mismatch(a + at, a + size, b + at).first - (a + at));
}

// The last offset at or before `common` at which two texts of one encoding
// that agree in their first `common` bytes both start a character afresh:
// everything before it decodes to the same code points in both. A byte (or
// unit) that can only continue a character is never such a place, whatever
// came before it. 0 for the code page, whose trailing bytes can look like
// anything.
std::int32_t Resync(const ICharEncoding& encoding, const std::uint8_t* a, std::int32_t sizeA, const std::uint8_t* b,
                    std::int32_t sizeB, std::int32_t common) {
  const auto continues = [&](std::int32_t at, std::int32_t width, auto isContinuation) {
    return (at + width <= sizeA && isContinuation(a + at)) || (at + width <= sizeB && isContinuation(b + at));
  };
  std::int32_t at = common;
  switch (encoding.getId()) {
    case kLatin1EncodingId:
      return at;
    case kUTF32EncodingId:
      return at & ~3;
    case kUTF8EncodingId:
      while (at > 0 && continues(at, 1, [](const std::uint8_t* byte) { return (*byte & 0xC0) == 0x80; })) --at;
      return at;
    case kUTF16EncodingId:
      at &= ~1;
      while (at > 0 && continues(at, 2, [](const std::uint8_t* unit) { return (unit[1] & 0xFC) == 0xDC; })) at -= 2;
      return at;
    default:
      return 0;
  }
}

constexpr std::int32_t kNoLimit = std::numeric_limits<std::int32_t>::max();

// Of 16 bytes and 16 UTF-16 units, bit i set where byte i is ASCII and
// equal to unit i.
std::uint32_t EqualAscii16(const std::uint8_t* bytes, const std::uint8_t* units) {
#if defined(__SSE2__)
  const __m128i narrow = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  const __m128i zero = _mm_setzero_si128();
  const __m128i low = _mm_cmpeq_epi16(_mm_unpacklo_epi8(narrow, zero),
                                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(units)));
  const __m128i high = _mm_cmpeq_epi16(_mm_unpackhi_epi8(narrow, zero),
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + 16)));
  const auto equal = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
  return equal & ~static_cast<std::uint32_t>(_mm_movemask_epi8(narrow));
#else
  std::uint32_t equal = 0;
  for (std::int32_t i = 0; i < 16; ++i) {
    std::uint16_t unit;
    std::memcpy(&unit, units + 2 * i, 2);
    if (bytes[i] < 0x80 && unit == bytes[i]) equal |= 1u << i;
  }
  return equal;
#endif
}

// The character at `at` when it is well formed, and the offset behind it;
// -1 for anything else (the end, broken bytes, the long forms led by C1),
// which the encoding's own decoder is left to read. Only shortest forms
// pass, so that equal characters here are equal bytes.
std::int32_t WellFormedUTF8(const std::uint8_t* bytes, std::int32_t size, std::int32_t at, CodePoint& c) {
  if (size - at < 1) return -1;
  std::size_t used;
  const char32_t value =
      compat::win32::DecodeUtf8(bytes + at, static_cast<std::size_t>(size - at), used, compat::win32::kUtf8Surrogates);
  if (value == compat::win32::kNotUtf8) return -1;
  c = value;
  return at + static_cast<std::int32_t>(used);
}

std::int32_t WellFormedUTF16(const std::uint8_t* bytes, std::int32_t size, std::int32_t at, CodePoint& c) {
  std::uint16_t unit[2];
  if (size - at < 2) return -1;
  std::memcpy(unit, bytes + at, 2);
  if (!compat::win32::IsSurrogate(unit[0])) {
    c = unit[0];
    return at + 2;
  }
  if (!compat::win32::IsHighSurrogate(unit[0]) || size - at < 4) return -1;
  std::memcpy(unit + 1, bytes + at + 2, 2);
  if (!compat::win32::IsLowSurrogate(unit[1])) return -1;
  c = compat::win32::JoinSurrogates(unit[0], unit[1]);
  return at + 4;
}

#if defined(__SSE2__)
// Moves `at` and `atWide` over the characters that UTF-8 and UTF-16 text
// agree on, at most `limit`, in one window: the UTF-8 is transcoded (one- to
// three-byte characters) onto the stack and compared with the UTF-16 by the
// unit. A block holds only characters of one
// unit equal to their value, so equal units are equal characters, and a
// difference is left to the caller at the start of its character, where code
// points decide the order (a surrogate pair orders after U+E000 to U+FFFF).
// Answers how many it passed.
std::int32_t PassEqualWindows(const TextView& bytes, std::int32_t& at, const TextView& wide, std::int32_t& atWide,
                              std::int32_t limit) {
  constexpr std::int32_t kBlockUnits = 16;
  char16_t block[kBlockUnits];
  const compat::win32::Utf8AsUnits taken =
      compat::win32::TranscodeUtf8Units(bytes.bytes + at, bytes.size - at, block, kBlockUnits);
  const std::int32_t most = std::min({taken.units, (wide.size - atWide) / 2, limit});
  // Units as bytes: the UTF-16 text need not be aligned for char16_t.
  const auto* mine = reinterpret_cast<const std::uint8_t*>(block);
  const std::size_t size = 2 * static_cast<std::size_t>(most);
  const std::int32_t agree =
      std::memcmp(mine, wide.bytes + atWide, size) == 0
          ? most
          : static_cast<std::int32_t>(std::mismatch(mine, mine + size, wide.bytes + atWide).first - mine) / 2;
  at += agree == taken.units ? taken.bytes : compat::win32::OffsetOfUtf8Unit(bytes.bytes + at, agree);
  atWide += 2 * agree;
  return agree;
}
#endif

// Moves `at` and `atWide` over the characters that a text in bytes (UTF-8,
// or Latin-1 when `latin1`) and a UTF-16 text agree on, at most `limit`:
// UTF-8 16 characters below U+0800 at a time (longer ones four at a time)
// where the processor has the byte shuffle (compat's AgreeShortUtf16),
// otherwise ASCII 16 at a time, other characters one by one while they are
// well formed. Answers how many
// it passed; the readers take over where it stops.
template <bool NoCase>
std::int32_t PassEqual(const TextView& bytes, std::int32_t& at, bool latin1, const TextView& wide,
                       std::int32_t& atWide, std::int32_t limit) {
  std::int32_t passed = 0;
  bool blocks = false;
#if defined(__SSE2__)
  blocks = !NoCase && !latin1 && compat::win32::kUtf8HasSsse3;
#endif
  while (passed < limit) {
#if defined(__SSE2__)
    if (blocks) {
      // Groups of units while they agree; where they stop (a surrogate, a
      // C1 form, broken bytes, a difference, the last 32 bytes), one window
      // of transcoding; where neither moves, a single step.
      const compat::win32::Utf8Utf16Agreement agreed = compat::win32::AgreeShortUtf16(
          bytes.bytes + at, bytes.size - at, wide.bytes + atWide, (wide.size - atWide) / 2, limit - passed);
      at += agreed.bytes;
      atWide += 2 * agreed.units;
      passed += agreed.units;
      if (passed >= limit) break;
      const std::int32_t windows = PassEqualWindows(bytes, at, wide, atWide, limit - passed);
      passed += windows;
      if (windows > 0) continue;
    }
#endif
    if (!blocks && limit - passed >= 16 && bytes.size - at >= 16 && wide.size - atWide >= 32) {
      const std::uint32_t equal = EqualAscii16(bytes.bytes + at, wide.bytes + atWide);
      const std::int32_t run = std::countr_one(equal);
      at += run;
      atWide += 2 * run;
      passed += run;
      if (run == 16) continue;
    }
    if (passed >= limit) break;
    CodePoint x = 0, y = 0;
    std::int32_t behind = -1;
    if (at < bytes.size && (latin1 || bytes.bytes[at] < 0x80)) {
      x = bytes.bytes[at];
      behind = at + 1;
    } else if (!latin1) {
      behind = WellFormedUTF8(bytes.bytes, bytes.size, at, x);
    }
    const std::int32_t behindWide = WellFormedUTF16(wide.bytes, wide.size, atWide, y);
    if (behind < 0 || behindWide < 0 || (x != y && Fold<NoCase>(x) != Fold<NoCase>(y))) break;
    at = behind;
    atWide = behindWide;
    ++passed;
  }
  return passed;
}

// Which of two texts PassEqual can read as the text in bytes: 1 for `a`,
// 2 for `b`, 0 unless one is UTF-8 or Latin-1 and the other UTF-16.
int NarrowSide(const TextView& a, const TextView& b) {
  const std::uint32_t idA = a.encoding.getId(), idB = b.encoding.getId();
  const auto narrow = [](std::uint32_t id) { return id == kUTF8EncodingId || id == kLatin1EncodingId; };
  return narrow(idA) && idB == kUTF16EncodingId ? 1 : narrow(idB) && idA == kUTF16EncodingId ? 2 : 0;
}

// This text from `start` against `other`, at most `maxCount` characters
// (-1: no limit). In prefix mode the other text only has to occur at
// `start`; otherwise a longer rest of this text orders after it.
template <bool NoCase>
std::int32_t CompareFrom(const TextView& mine, StringPosition start, const TextView& other, std::int32_t maxCount,
                         bool prefix) {
  std::int32_t skipped = 0;
  if (!NoCase && !start.isNone() && other.hasEncoding(mine.encoding)) {
    // Equal bytes in one encoding are equal code points: pass over them.
    const std::uint8_t* rest = mine.bytes + start.offset;
    const std::int32_t restSize = mine.size - start.offset;
    skipped = Resync(mine.encoding, rest, restSize, other.bytes, other.size,
                     CommonPrefix(rest, other.bytes, std::min(restSize, other.size)));
    if (maxCount >= 0 && skipped > 0) {
      const std::int32_t chars = mine.encoding.countChars(rest, skipped, 0);
      if (chars >= maxCount) return 0;
      maxCount -= chars;
    }
  }
  AsciiFirstReader a(mine, start.isNone() ? -1 : start.offset + skipped), b(other, skipped);
  const int narrow = NarrowSide(mine, other);
  const bool latin1 = (narrow == 1 ? mine : other).encoding.getId() == kLatin1EncodingId;
  for (std::int32_t compared = 0; maxCount < 0 || compared < maxCount; ++compared) {
    if (narrow != 0 && a.idle() && b.idle()) {
      std::int32_t atA = a.position(), atB = b.position();
      const std::int32_t limit = maxCount < 0 ? kNoLimit : maxCount - compared;
      compared += narrow == 1 ? PassEqual<NoCase>(mine, atA, latin1, other, atB, limit)
                              : PassEqual<NoCase>(other, atB, latin1, mine, atA, limit);
      a.moveTo(atA);
      b.moveTo(atB);
      if (maxCount >= 0 && compared >= maxCount) break;
    }
    CodePoint x, y;
    if (!b.next(y)) return prefix ? 0 : (a.next(x) ? 1 : 0);
    if (!a.next(x)) return -1;
    if (x == y) continue;
    x = Fold<NoCase>(x);
    y = Fold<NoCase>(y);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

template <bool NoCase, class Start>
std::int32_t Compare(const CString& self, const TextView& other, Start start, std::int32_t maxCount) {
  const TextView mine(self);
  return CompareFrom<NoCase>(mine, At(mine, start), other, maxCount, false);
}

template <bool NoCase, class Start>
bool MatchesAt(const CString& self, const TextView& other, Start start, std::int32_t maxCount) {
  const TextView mine(self);
  const StringPosition at = At(mine, start);
  const std::int32_t left = at.isNone() ? 0 : mine.chars - at.index;
  if (maxCount < 0 && other.chars > left) return false;
  return CompareFrom<NoCase>(mine, at, other, maxCount, false) == 0;
}

template <bool NoCase, class Start>
bool StartsWith(const CString& self, const TextView& other, Start start) {
  const TextView mine(self);
  const StringPosition at = At(mine, start);
  return !at.isNone() && CompareFrom<NoCase>(mine, at, other, -1, true) == 0;
}

template <bool NoCase>
bool EndsWith(const CString& self, const TextView& other) {
  const TextView mine(self);
  if (other.chars > mine.chars) return false;
  return CompareFrom<NoCase>(mine, PositionOf(mine, mine.chars - other.chars), other, -1, false) == 0;
}

// The text from `offset` as wide characters; what UTF-16 cannot hold reads "?".
std::wstring Wide(const TextView& text, std::int32_t offset) {
  std::wstring wide;
  TextReader reader(text, offset);
  for (CodePoint c; reader.next(c);) wide.push_back(static_cast<wchar_t>(Fits(*GetUTF16CharEncoding(), c) ? c : '?'));
  return wide;
}

template <class Start>
std::int32_t Collate(const CString& self, const TextView& other, Start start) {
  const TextView mine(self);
  const StringPosition at = At(mine, start);
  const int order = std::wcscoll(Wide(mine, at.offset).c_str(), Wide(other, 0).c_str());
  return (order > 0) - (order < 0);
}

// The hash: h = ((h & 0x0FFFFFFF) << 3) ^ (((h >> 2) ^ c) & 0x7FFFFFFF) for
// each code point c. The step is h = Spread(h) ^ (c & 0x7FFFFFFF), with
// Spread linear over the bits, so two steps fold into one:
// h = Spread(Spread(h)) ^ Spread(c1') ^ c2', whose chain of dependent
// operations is no longer than one step's.
class HashState {
 public:
  void add(CodePoint c) { h = Spread(h) ^ (c & 0x7FFFFFFF); }
  void add(CodePoint c1, CodePoint c2) { h = SpreadTwice(h) ^ Spread(c1 & 0x7FFFFFFF) ^ (c2 & 0x7FFFFFFF); }
  std::uint32_t value() const { return h; }

 private:
  static std::uint32_t Spread(std::uint32_t x) { return ((x & 0x0FFFFFFF) << 3) ^ (x >> 2); }
  static std::uint32_t SpreadTwice(std::uint32_t x) {
    return ((x << 6) & 0x7FFFFFC0) ^ ((x << 1) & 0x60000006) ^ (x >> 4);
  }
  std::uint32_t h = 0;
};

// Bytes of UTF-8 and Latin-1 text are hashed as they are read, up to the
// first broken UTF-8 sequence, and UTF-16 units up to the first surrogate;
// the reader takes the rest.
std::uint32_t Hash(const TextView& text) {
  HashState h;
  const std::uint32_t id = text.encoding.getId();
  std::int32_t at = 0;
  if (id == kUTF8EncodingId || id == kLatin1EncodingId) {
    const bool latin1 = id == kLatin1EncodingId;
    while (at < text.size) {
      CodePoint c = text.bytes[at];
      const std::int32_t behind = c < 0x80 || latin1 ? at + 1 : WellFormedUTF8(text.bytes, text.size, at, c);
      if (behind < 0) break;
      h.add(c);
      at = behind;
    }
  } else if (id == kUTF16EncodingId) {
    const auto unitAt = [&text](std::int32_t offset) {
      std::uint16_t u;
      std::memcpy(&u, text.bytes + offset, 2);
      return CodePoint{u};
    };
    const auto surrogate = [](CodePoint u) { return compat::win32::IsSurrogate(u); };
    for (; text.size - at >= 4; at += 4) {
      const CodePoint u1 = unitAt(at), u2 = unitAt(at + 2);
      if (surrogate(u1) || surrogate(u2)) break;
      h.add(u1, u2);
    }
    for (; text.size - at >= 2 && !surrogate(unitAt(at)); at += 2) h.add(unitAt(at));
  }
  if (at < text.size) {
    AsciiFirstReader reader(text, at);
    for (CodePoint c; reader.next(c);) h.add(c);
  }
  return h.value();
}

// --- positions and characters ---

// The code point starting at `offset`, or 0 outside the text.
CodePoint DecodeAt(const TextView& text, std::int32_t offset) {
  CodePoint c = 0;
  if (offset < 0 || offset >= text.size || text.encoding.decodeNextChar(c, text.bytes, text.size, offset) < 0) return 0;
  return c;
}

CodePoint CharAt(const CString& self, std::int32_t index) {
  const TextView mine(self);
  return index < 0 ? 0 : DecodeAt(mine, mine.encoding.getCharOffset(mine.bytes, mine.size, index));
}

CodePoint NextChar(const CString& self, StringPosition& at) {
  const TextView mine(self);
  CodePoint c = 0;
  if (!Within(mine, at) || at.index == mine.chars) return 0;
  const std::int32_t next = mine.encoding.decodeNextChar(c, mine.bytes, mine.size, at.offset);
  if (next < 0) return 0;
  at = {at.index + 1, next};
  return c;
}

CodePoint PreviousChar(const CString& self, StringPosition& at) {
  RequireBackwards(self, "previousChar");
  const TextView mine(self);
  CodePoint c = 0;
  if (!Within(mine, at) || at.index == 0) return 0;
  const std::int32_t start = mine.encoding.decodePreviousChar(c, mine.bytes, mine.size, at.offset);
  if (start < 0) return 0;
  at = {at.index - 1, start};
  return c;
}

StringPosition Move(const CString& self, StringPosition at, std::int32_t delta) {
  const TextView mine(self);
  if (!Within(mine, at)) return kNone;
  const std::int64_t target = std::int64_t{at.index} + delta;
  if (target < 0 || target > mine.chars) return kNone;
  std::int32_t offset = at.offset;
  if (delta > 0) {
    TextReader reader(mine, at.offset);
    for (CodePoint c; reader.consumed() < delta;) {
      if (!reader.next(c)) return kNone;
    }
    offset = reader.lastEnd();
  } else if (delta < 0) {
    RequireBackwards(self, "movePosition");
    BackwardTextReader reader(mine.bytes, mine.size, mine.encoding, at.offset, 0);
    for (CodePoint c; reader.consumed() < -delta;) {
      if (!reader.next(c)) return kNone;
    }
    offset = reader.lastStart();
  }
  return {static_cast<std::int32_t>(target), offset};
}

// --- slices and new text ---

String SliceOf(const CString& self, StringPosition start, StringPosition end) {
  const TextView mine(self);
  if (end.isNone()) end = End(mine);
  if (!Within(mine, start) || !Within(mine, end) || end.offset < start.offset || end.index < start.index) {
    start = end = {0, 0};
  }
  return make<CStringSlice>(PC<IBase>::share(&self), mine.bytes + start.offset, end.offset - start.offset,
                            end.index - start.index, self.getEncoding());
}

String SliceBetween(const CString& self, std::int32_t start, std::int32_t end) {
  const TextView mine(self);
  const StringPosition from = PositionOf(mine, start);
  const StringPosition to = end == -1 ? End(mine) : PositionOf(mine, end);
  return to.isNone() ? SliceOf(self, kNone, kNone) : SliceOf(self, from, to);
}

template <class Start>
String Splice(const CString& self, Start start, std::int32_t count, const TextView& other) {
  const TextView mine(self);
  const StringPosition at = At(mine, start);
  if (at.isNone()) return self.copy();
  std::int32_t behind = mine.size;
  if (count >= 0 && count < mine.chars - at.index) {
    const StringPosition end = Move(self, at, count);
    if (!end.isNone()) behind = end.offset;
  }
  const Piece pieces[] = {{&mine, 0, at.offset}, Whole(other), {&mine, behind, mine.size}};
  return Build(pieces, self.getEncoding());
}

String Concat(const CString& self, const TextView& other) {
  return Splice(self, StringPosition{self.length(), self.byteLength()}, 0, other);
}

// The mapped text in the string's own encoding, written in one pass into a
// buffer of the string's size; nothing when a mapped character cannot be
// written there (Latin-1 cannot hold it, or the text grew) or the encoding
// is the code page.
template <bool Upper>
std::optional<String> MapCaseInPlace(const CString& self) {
  const TextView mine(self);
  const std::int32_t unit = detail::AsciiUnitSize(mine.encoding);
  if (unit == 0) return std::nullopt;
  const bool latin1 = mine.encoding.getId() == kLatin1EncodingId;
  const std::int32_t nulSize = std::max(mine.encoding.getEncodedSize(0), 1);
  std::uint8_t* buffer = CString::allocate(mine.size + nulSize);
  std::int32_t at = 0;
  AsciiFirstReader reader(mine, 0);
  for (CodePoint c; reader.next(c);) {
    std::int32_t behind = at;
    if (c < 0x80 && mine.size - at >= unit) {
      const CodePoint mapped = c - (Upper ? 'a' : 'A') < 26 ? c ^ 0x20 : c;
      if (unit == 1) {
        buffer[at] = static_cast<std::uint8_t>(mapped);
      } else if (unit == 2) {
        const auto wide = static_cast<std::uint16_t>(mapped);
        std::memcpy(buffer + at, &wide, 2);
      } else {
        std::memcpy(buffer + at, &mapped, 4);
      }
      behind = at + unit;
    } else {
      c = Upper ? ToUpperCase(c) : ToLowerCase(c);
      if (!latin1 || c <= 0xFF) behind = mine.encoding.encodeChar(c, buffer, mine.size, at);
    }
    if (behind == at) {
      delete[] buffer;
      return std::nullopt;
    }
    at = behind;
  }
  std::memset(buffer + at, 0, static_cast<std::size_t>(mine.size + nulSize - at));
  return make<CString>(buffer, at, self.length(), true, self.getEncoding(), StringMode::kAdopt);
}

template <bool Upper>
String MapCase(const CString& self) {
  if (std::optional<String> inPlace = MapCaseInPlace<Upper>(self)) return *std::move(inPlace);
  CodePoint (*map)(CodePoint) = Upper ? ToUpperCase : ToLowerCase;
  std::vector<CodePoint> mapped;
  mapped.reserve(static_cast<std::size_t>(self.length()));
  TextReader reader{TextView(self)};
  for (CodePoint c; reader.next(c);) mapped.push_back(map(c));
  const TextView text(mapped.data(), static_cast<std::int32_t>(mapped.size()));
  const Piece whole[] = {Whole(text)};
  return Build(whole, self.getEncoding());
}

// --- searching ---

// A text searched for, as its (folded) code points.
using Needle = std::vector<CodePoint>;
using Needles = std::vector<Needle>;

template <bool NoCase>
Needle Decode(const TextView& text) {
  Needle needle;
  needle.reserve(static_cast<std::size_t>(text.chars));
  TextReader reader(text);
  for (CodePoint c; reader.next(c);) needle.push_back(Fold<NoCase>(c));
  return needle;
}

// One text or one code point.
template <bool NoCase>
Needles One(const TextView& text) {
  return {Decode<NoCase>(text)};
}
template <bool NoCase>
Needles One(CodePoint c) {
  return {{Fold<NoCase>(c)}};
}

// A list of texts, or each code point of a set.
template <bool NoCase, class Char>
Needles Terminated(const Char* const* list) {
  Needles needles;
  for (; list && *list; ++list) needles.push_back(Decode<NoCase>(TextView(*list)));
  return needles;
}
template <bool NoCase>
Needles Many(const char16_t* const* list) {
  return Terminated<NoCase>(list);
}
template <bool NoCase>
Needles Many(const char* const* list) {
  return Terminated<NoCase>(list);
}
template <bool NoCase>
Needles Many(const IConstArray& list) {
  Needles needles;
  for (std::int32_t i = 0; i < list.getCount(); ++i) {
    const IString* text = cast<IString>(const_cast<IBase*>(list.get(i).get()));
    needles.push_back(text ? Decode<NoCase>(TextView(*text)) : Needle());
  }
  return needles;
}
template <bool NoCase>
Needles Each(const TextView& set) {
  Needles needles;
  for (CodePoint c : Decode<NoCase>(set)) needles.push_back({c});
  return needles;
}
template <bool NoCase>
Needles Many(const char16_t* set) {
  return Each<NoCase>(TextView(set));
}
template <bool NoCase>
Needles Many(const char* set) {
  return Each<NoCase>(TextView(set));
}
template <bool NoCase>
Needles Many(const IString& set) {
  return Each<NoCase>(TextView(set));
}

// Where a needle was found: its place, the place behind it, its number.
struct Found {
  StringPosition at = kNone;
  StringPosition behind = kNone;
  std::int32_t which = -1;
};

// Whether `needle` occurs at `offset`, within `limit`; `behind` receives the
// offset behind it.
template <bool NoCase>
bool OccursAt(const TextView& text, std::int32_t offset, std::int32_t limit, const Needle& needle,
              std::int32_t& behind) {
  TextReader reader(text.bytes, text.size, text.encoding, offset, limit);
  for (CodePoint wanted : needle) {
    CodePoint c;
    if (!reader.next(c) || Fold<NoCase>(c) != wanted) return false;
  }
  behind = reader.lastEnd();
  return true;
}

std::int32_t Length(const Needle& needle) { return static_cast<std::int32_t>(needle.size()); }

std::int32_t Shortest(const Needles& needles) {
  std::int32_t shortest = std::numeric_limits<std::int32_t>::max();
  for (const Needle& needle : needles) {
    if (!needle.empty()) shortest = std::min(shortest, Length(needle));
  }
  return shortest;
}

// The first place from `start` where a needle occurs; where several occur
// at one place, the first listed. This is what searching for each needle
// and keeping the smallest index gives, in one pass. Empty needles match
// nothing.
template <bool NoCase>
Found FindForward(const TextView& text, StringPosition start, const Needles& needles) {
  if (start.isNone() || Shortest(needles) > text.chars - start.index) return {};
  const std::int32_t last = text.chars - Shortest(needles);
  TextReader reader(text, start.offset);
  CodePoint c;
  for (std::int32_t index = start.index; index <= last && reader.next(c); ++index) {
    c = Fold<NoCase>(c);
    for (std::size_t k = 0; k < needles.size(); ++k) {
      const Needle& needle = needles[k];
      if (needle.empty() || needle[0] != c || Length(needle) > text.chars - index) continue;
      std::int32_t behind = reader.lastEnd();
      if (needle.size() == 1 || OccursAt<NoCase>(text, reader.lastStart(), text.size, needle, behind)) {
        return {{index, reader.lastStart()}, {index + Length(needle), behind}, static_cast<std::int32_t>(k)};
      }
    }
  }
  return {};
}

// The first place from `start` where `needle` occurs in a UTF-8 or Latin-1
// text, found by searching for its bytes; nothing when the bytes cannot
// tell (another encoding, a needle Latin-1 cannot hold, or broken or
// unusual UTF-8 before the match, where the characters read around skipped
// bytes). In well-formed UTF-8 a match of well-formed bytes starts with an
// ASCII or lead byte, so it never starts inside a character.
std::optional<StringPosition> FindBytes(const TextView& text, StringPosition start, const Needle& needle) {
  const std::uint32_t id = text.encoding.getId();
  if (needle.empty() || (id != kUTF8EncodingId && id != kLatin1EncodingId)) return std::nullopt;
  std::vector<std::uint8_t> encoded(needle.size() * 4);
  std::int32_t size = 0;
  for (const CodePoint c : needle) {
    if (!Fits(text.encoding, c)) return std::nullopt;
    size = text.encoding.encodeChar(c, encoded.data(), static_cast<std::int32_t>(encoded.size()), size);
  }
  const void* hit = memmem(text.bytes + start.offset, static_cast<std::size_t>(text.size - start.offset),
                           encoded.data(), static_cast<std::size_t>(size));
  const std::int32_t stop = hit ? static_cast<std::int32_t>(static_cast<const std::uint8_t*>(hit) - text.bytes)
                                : text.size;
  std::int32_t index = start.index, at = start.offset;
  if (id == kLatin1EncodingId) {
    index += stop - at;
    at = stop;
  }
  if (at < stop) {
    const std::int32_t chars = compat::win32::CountShortestUtf8<compat::win32::Utf8VectorPath>(text.bytes, stop, at);
    if (chars < 0) return std::nullopt;
    index += chars;
    at = stop;
  }
  if (at != stop) return std::nullopt;
  if (!hit || index > text.chars - Length(needle)) return kNone;
  return StringPosition{index, stop};
}

// The last place where a needle occurs and ends at or before `bound`.
template <bool NoCase>
Found FindBackward(const TextView& text, StringPosition bound, const Needles& needles) {
  if (bound.isNone() || Shortest(needles) > bound.index) return {};
  BackwardTextReader reader(text.bytes, text.size, text.encoding, bound.offset, 0);
  CodePoint c;
  for (std::int32_t index = bound.index - 1; reader.next(c); --index) {
    c = Fold<NoCase>(c);
    for (std::size_t k = 0; k < needles.size(); ++k) {
      const Needle& needle = needles[k];
      if (needle.empty() || needle[0] != c || index + Length(needle) > bound.index) continue;
      std::int32_t behind;
      if (OccursAt<NoCase>(text, reader.lastStart(), bound.offset, needle, behind)) {
        return {{index, reader.lastStart()}, {index + Length(needle), behind}, static_cast<std::int32_t>(k)};
      }
    }
  }
  return {};
}

template <bool NoCase, class Start>
StringPosition Find(const CString& self, const Needles& needles, Start start) {
  const TextView mine(self);
  const StringPosition at = At(mine, start);
  if constexpr (!NoCase) {
    if (needles.size() == 1 && !at.isNone()) {
      if (const std::optional<StringPosition> found = FindBytes(mine, at, needles[0])) return *found;
    }
  }
  return FindForward<NoCase>(mine, at, needles).at;
}

template <bool NoCase, class Start>
StringMatch FindAny(const CString& self, const Needles& needles, Start start) {
  const TextView mine(self);
  const Found found = FindForward<NoCase>(mine, At(mine, start), needles);
  return {found.at, found.which};
}

template <bool NoCase, class Start>
StringMatch FindLastAny(const CString& self, const Needles& needles, Start start) {
  RequireBackwards(self, NoCase ? "findLastNoCase" : "findLast");
  const TextView mine(self);
  const Found found = FindBackward<NoCase>(mine, Before(mine, start), needles);
  return {found.at, found.which};
}

template <bool NoCase, class Start>
StringPosition FindLast(const CString& self, const Needles& needles, Start start) {
  return FindLastAny<NoCase>(self, needles, start).position;
}

template <bool NoCase>
String NextToken(const CString& self, StringPosition& at, const Needles& separators) {
  const TextView mine(self);
  if (!Within(mine, at)) {
    at = kNone;
    return String();
  }
  const StringPosition from = at;
  const Found found = FindForward<NoCase>(mine, from, separators);
  at = found.behind;
  return SliceOf(self, from, found.at);
}

template <bool NoCase>
std::int32_t Count(const CString& self, const Needles& needles) {
  const TextView mine(self);
  std::int32_t count = 0;
  for (Found found = FindForward<NoCase>(mine, {0, 0}, needles); !found.at.isNone();
       found = FindForward<NoCase>(mine, found.behind, needles)) {
    ++count;
  }
  return count;
}

template <bool NoCase>
String Replace(const CString& self, const Needles& needles, const TextView& with) {
  const TextView mine(self);
  std::vector<Piece> pieces;
  std::int32_t copied = 0;
  for (Found found = FindForward<NoCase>(mine, {0, 0}, needles); !found.at.isNone();
       found = FindForward<NoCase>(mine, found.behind, needles)) {
    pieces.push_back({&mine, copied, found.at.offset});
    pieces.push_back(Whole(with));
    copied = found.behind.offset;
  }
  pieces.push_back({&mine, copied, mine.size});
  return Build(pieces, self.getEncoding());
}

// The slice without the code points of `set` at the ends the flags name.
template <bool NoCase>
String Trim(const CString& self, const Needle& set, bool left, bool right) {
  const TextView mine(self);
  StringPosition first = kNone, behindLast = kNone;
  TextReader reader(mine);
  CodePoint c;
  for (std::int32_t index = 0; reader.next(c); ++index) {
    if (std::find(set.begin(), set.end(), Fold<NoCase>(c)) != set.end()) continue;
    if (first.isNone()) first = {index, reader.lastStart()};
    behindLast = {index + 1, reader.lastEnd()};
  }
  if (first.isNone()) return SliceOf(self, {0, 0}, {0, 0});
  return SliceOf(self, left ? first : StringPosition{0, 0}, right ? behindLast : End(mine));
}

template <bool NoCase>
String Trim(const CString& self, CodePoint t, bool left, bool right) {
  return Trim<NoCase>(self, Needle{Fold<NoCase>(t)}, left, right);
}

template <bool NoCase>
String Trim(const CString& self, const TextView& set, bool left, bool right) {
  return Trim<NoCase>(self, Decode<NoCase>(set), left, right);
}

}  // namespace

std::int32_t parseIntPrefix(const String& text, std::int32_t base, std::int32_t& consumed) {
  const std::uint32_t radix = static_cast<std::uint32_t>(std::max(base, 0));
  std::uint32_t value = 0;
  std::int32_t digits = 0;
  TextReader reader{TextView(*text)};
  for (CodePoint c; reader.next(c); ++digits) {
    const std::uint32_t digit = c >= '0' && c <= '9'   ? c - '0'
                                : c >= 'A' && c <= 'Z' ? c - 'A' + 10
                                : c >= 'a' && c <= 'z' ? c - 'a' + 10
                                                       : radix;
    if (digit >= radix) break;
    value = value * radix + digit;
  }
  if (digits == 0) throw CParseError("Error parsing integer.");
  consumed = digits;
  return static_cast<std::int32_t>(value);
}

std::int32_t parseInt(const String& text, std::int32_t base) {
  std::int32_t consumed = 0;
  const std::int32_t value = parseIntPrefix(text, base, consumed);
  if (consumed < text.length()) throw CParseError("Error parsing integer.");
  return value;
}

// --- the operations of IString, each handing over to its rule ---

StringPosition CString::makePosition(std::int32_t index) const { return PositionOf(TextView(*this), index); }
StringPosition CString::movePosition(StringPosition at, std::int32_t delta) const { return Move(*this, at, delta); }
bool CString::canIterateBackwards() const { return encoding->canDecodeBackwards(); }
CodePoint CString::nextChar(StringPosition& at) const { return NextChar(*this, at); }
CodePoint CString::previousChar(StringPosition& at) const { return PreviousChar(*this, at); }
CodePoint CString::charAt(std::int32_t index) const { return CharAt(*this, index); }
CodePoint CString::charAt(StringPosition at) const { return DecodeAt(TextView(*this), at.offset); }
CodePoint CString::charAt(std::int32_t index, RangeTested) const {
  return index >= 0 && index < chars ? CharAt(*this, index) : 0;
}
CodePoint CString::charAt(StringPosition at, RangeTested) const {
  return at.index >= 0 && at.index < chars ? DecodeAt(TextView(*this), at.offset) : 0;
}
std::uint32_t CString::hashCode() const { return Hash(TextView(*this)); }
std::int32_t CString::compare(const char16_t* other, StringPosition start, std::int32_t maxCount) const {
  return Compare<false>(*this, TextView(other), start, maxCount);
}
std::int32_t CString::compare(const char16_t* other, std::int32_t start, std::int32_t maxCount) const {
  return Compare<false>(*this, TextView(other), start, maxCount);
}
std::int32_t CString::compare(const char* other, StringPosition start, std::int32_t maxCount) const {
  return Compare<false>(*this, TextView(other), start, maxCount);
}
std::int32_t CString::compare(const char* other, std::int32_t start, std::int32_t maxCount) const {
  return Compare<false>(*this, TextView(other), start, maxCount);
}
std::int32_t CString::compare(const IString& other, StringPosition start, std::int32_t maxCount) const {
  return Compare<false>(*this, TextView(other), start, maxCount);
}
std::int32_t CString::compare(const IString& other, std::int32_t start, std::int32_t maxCount) const {
  return Compare<false>(*this, TextView(other), start, maxCount);
}
std::int32_t CString::compareNoCase(const char16_t* other, StringPosition start, std::int32_t maxCount) const {
  return Compare<true>(*this, TextView(other), start, maxCount);
}
std::int32_t CString::compareNoCase(const char16_t* other, std::int32_t start, std::int32_t maxCount) const {
  return Compare<true>(*this, TextView(other), start, maxCount);
}
std::int32_t CString::compareNoCase(const char* other, StringPosition start, std::int32_t maxCount) const {
  return Compare<true>(*this, TextView(other), start, maxCount);
}
std::int32_t CString::compareNoCase(const char* other, std::int32_t start, std::int32_t maxCount) const {
  return Compare<true>(*this, TextView(other), start, maxCount);
}
std::int32_t CString::compareNoCase(const IString& other, StringPosition start, std::int32_t maxCount) const {
  return Compare<true>(*this, TextView(other), start, maxCount);
}
std::int32_t CString::compareNoCase(const IString& other, std::int32_t start, std::int32_t maxCount) const {
  return Compare<true>(*this, TextView(other), start, maxCount);
}
std::int32_t CString::collate(const char16_t* other, StringPosition start) const {
  return Collate(*this, TextView(other), start);
}
std::int32_t CString::collate(const char16_t* other, std::int32_t start) const {
  return Collate(*this, TextView(other), start);
}
std::int32_t CString::collate(const char* other, StringPosition start) const {
  return Collate(*this, TextView(other), start);
}
std::int32_t CString::collate(const char* other, std::int32_t start) const {
  return Collate(*this, TextView(other), start);
}
std::int32_t CString::collate(const IString& other, StringPosition start) const {
  return Collate(*this, TextView(other), start);
}
std::int32_t CString::collate(const IString& other, std::int32_t start) const {
  return Collate(*this, TextView(other), start);
}
bool CString::matchesAt(const char16_t* other, StringPosition start, std::int32_t maxCount) const {
  return MatchesAt<false>(*this, TextView(other), start, maxCount);
}
bool CString::matchesAt(const char16_t* other, std::int32_t start, std::int32_t maxCount) const {
  return MatchesAt<false>(*this, TextView(other), start, maxCount);
}
bool CString::matchesAt(const char* other, StringPosition start, std::int32_t maxCount) const {
  return MatchesAt<false>(*this, TextView(other), start, maxCount);
}
bool CString::matchesAt(const char* other, std::int32_t start, std::int32_t maxCount) const {
  return MatchesAt<false>(*this, TextView(other), start, maxCount);
}
bool CString::matchesAt(const IString& other, StringPosition start, std::int32_t maxCount) const {
  return MatchesAt<false>(*this, TextView(other), start, maxCount);
}
bool CString::matchesAt(const IString& other, std::int32_t start, std::int32_t maxCount) const {
  return MatchesAt<false>(*this, TextView(other), start, maxCount);
}
bool CString::matchesAtNoCase(const char16_t* other, StringPosition start, std::int32_t maxCount) const {
  return MatchesAt<true>(*this, TextView(other), start, maxCount);
}
bool CString::matchesAtNoCase(const char16_t* other, std::int32_t start, std::int32_t maxCount) const {
  return MatchesAt<true>(*this, TextView(other), start, maxCount);
}
bool CString::matchesAtNoCase(const char* other, StringPosition start, std::int32_t maxCount) const {
  return MatchesAt<true>(*this, TextView(other), start, maxCount);
}
bool CString::matchesAtNoCase(const char* other, std::int32_t start, std::int32_t maxCount) const {
  return MatchesAt<true>(*this, TextView(other), start, maxCount);
}
bool CString::matchesAtNoCase(const IString& other, StringPosition start, std::int32_t maxCount) const {
  return MatchesAt<true>(*this, TextView(other), start, maxCount);
}
bool CString::matchesAtNoCase(const IString& other, std::int32_t start, std::int32_t maxCount) const {
  return MatchesAt<true>(*this, TextView(other), start, maxCount);
}
bool CString::startsWith(const char16_t* other, StringPosition start) const {
  return StartsWith<false>(*this, TextView(other), start);
}
bool CString::startsWith(const char16_t* other, std::int32_t start) const {
  return StartsWith<false>(*this, TextView(other), start);
}
bool CString::startsWith(const char* other, StringPosition start) const {
  return StartsWith<false>(*this, TextView(other), start);
}
bool CString::startsWith(const char* other, std::int32_t start) const {
  return StartsWith<false>(*this, TextView(other), start);
}
bool CString::startsWith(const IString& other, StringPosition start) const {
  return StartsWith<false>(*this, TextView(other), start);
}
bool CString::startsWith(const IString& other, std::int32_t start) const {
  return StartsWith<false>(*this, TextView(other), start);
}
bool CString::startsWithNoCase(const char16_t* other, StringPosition start) const {
  return StartsWith<true>(*this, TextView(other), start);
}
bool CString::startsWithNoCase(const char16_t* other, std::int32_t start) const {
  return StartsWith<true>(*this, TextView(other), start);
}
bool CString::startsWithNoCase(const char* other, StringPosition start) const {
  return StartsWith<true>(*this, TextView(other), start);
}
bool CString::startsWithNoCase(const char* other, std::int32_t start) const {
  return StartsWith<true>(*this, TextView(other), start);
}
bool CString::startsWithNoCase(const IString& other, StringPosition start) const {
  return StartsWith<true>(*this, TextView(other), start);
}
bool CString::startsWithNoCase(const IString& other, std::int32_t start) const {
  return StartsWith<true>(*this, TextView(other), start);
}
bool CString::endsWith(const char16_t* other) const { return EndsWith<false>(*this, TextView(other)); }
bool CString::endsWith(const char* other) const { return EndsWith<false>(*this, TextView(other)); }
bool CString::endsWith(const IString& other) const { return EndsWith<false>(*this, TextView(other)); }
bool CString::endsWithNoCase(const char16_t* other) const { return EndsWith<true>(*this, TextView(other)); }
bool CString::endsWithNoCase(const char* other) const { return EndsWith<true>(*this, TextView(other)); }
bool CString::endsWithNoCase(const IString& other) const { return EndsWith<true>(*this, TextView(other)); }
StringPosition CString::find(CodePoint c, StringPosition start) const {
  return Find<false>(*this, One<false>(c), start);
}
StringPosition CString::find(CodePoint c, std::int32_t start) const { return Find<false>(*this, One<false>(c), start); }
StringPosition CString::find(const char16_t* other, StringPosition start) const {
  return Find<false>(*this, One<false>(TextView(other)), start);
}
StringPosition CString::find(const char16_t* other, std::int32_t start) const {
  return Find<false>(*this, One<false>(TextView(other)), start);
}
StringPosition CString::find(const char* other, StringPosition start) const {
  return Find<false>(*this, One<false>(TextView(other)), start);
}
StringPosition CString::find(const char* other, std::int32_t start) const {
  return Find<false>(*this, One<false>(TextView(other)), start);
}
StringPosition CString::find(const IString& other, StringPosition start) const {
  return Find<false>(*this, One<false>(TextView(other)), start);
}
StringPosition CString::find(const IString& other, std::int32_t start) const {
  return Find<false>(*this, One<false>(TextView(other)), start);
}
StringPosition CString::findNoCase(CodePoint c, StringPosition start) const {
  return Find<true>(*this, One<true>(c), start);
}
StringPosition CString::findNoCase(CodePoint c, std::int32_t start) const {
  return Find<true>(*this, One<true>(c), start);
}
StringPosition CString::findNoCase(const char16_t* other, StringPosition start) const {
  return Find<true>(*this, One<true>(TextView(other)), start);
}
StringPosition CString::findNoCase(const char16_t* other, std::int32_t start) const {
  return Find<true>(*this, One<true>(TextView(other)), start);
}
StringPosition CString::findNoCase(const char* other, StringPosition start) const {
  return Find<true>(*this, One<true>(TextView(other)), start);
}
StringPosition CString::findNoCase(const char* other, std::int32_t start) const {
  return Find<true>(*this, One<true>(TextView(other)), start);
}
StringPosition CString::findNoCase(const IString& other, StringPosition start) const {
  return Find<true>(*this, One<true>(TextView(other)), start);
}
StringPosition CString::findNoCase(const IString& other, std::int32_t start) const {
  return Find<true>(*this, One<true>(TextView(other)), start);
}
StringMatch CString::findAny(const char16_t* const* list, StringPosition start) const {
  return FindAny<false>(*this, Many<false>(list), start);
}
StringMatch CString::findAny(const char16_t* const* list, std::int32_t start) const {
  return FindAny<false>(*this, Many<false>(list), start);
}
StringMatch CString::findAny(const char* const* list, StringPosition start) const {
  return FindAny<false>(*this, Many<false>(list), start);
}
StringMatch CString::findAny(const char* const* list, std::int32_t start) const {
  return FindAny<false>(*this, Many<false>(list), start);
}
StringMatch CString::findAny(const IConstArray& list, StringPosition start) const {
  return FindAny<false>(*this, Many<false>(list), start);
}
StringMatch CString::findAny(const IConstArray& list, std::int32_t start) const {
  return FindAny<false>(*this, Many<false>(list), start);
}
StringMatch CString::findAny(const char16_t* set, StringPosition start) const {
  return FindAny<false>(*this, Many<false>(set), start);
}
StringMatch CString::findAny(const char16_t* set, std::int32_t start) const {
  return FindAny<false>(*this, Many<false>(set), start);
}
StringMatch CString::findAny(const char* set, StringPosition start) const {
  return FindAny<false>(*this, Many<false>(set), start);
}
StringMatch CString::findAny(const char* set, std::int32_t start) const {
  return FindAny<false>(*this, Many<false>(set), start);
}
StringMatch CString::findAny(const IString& set, StringPosition start) const {
  return FindAny<false>(*this, Many<false>(set), start);
}
StringMatch CString::findAny(const IString& set, std::int32_t start) const {
  return FindAny<false>(*this, Many<false>(set), start);
}
StringMatch CString::findAnyNoCase(const char16_t* const* list, StringPosition start) const {
  return FindAny<true>(*this, Many<true>(list), start);
}
StringMatch CString::findAnyNoCase(const char16_t* const* list, std::int32_t start) const {
  return FindAny<true>(*this, Many<true>(list), start);
}
StringMatch CString::findAnyNoCase(const char* const* list, StringPosition start) const {
  return FindAny<true>(*this, Many<true>(list), start);
}
StringMatch CString::findAnyNoCase(const char* const* list, std::int32_t start) const {
  return FindAny<true>(*this, Many<true>(list), start);
}
StringMatch CString::findAnyNoCase(const IConstArray& list, StringPosition start) const {
  return FindAny<true>(*this, Many<true>(list), start);
}
StringMatch CString::findAnyNoCase(const IConstArray& list, std::int32_t start) const {
  return FindAny<true>(*this, Many<true>(list), start);
}
StringMatch CString::findAnyNoCase(const char16_t* set, StringPosition start) const {
  return FindAny<true>(*this, Many<true>(set), start);
}
StringMatch CString::findAnyNoCase(const char16_t* set, std::int32_t start) const {
  return FindAny<true>(*this, Many<true>(set), start);
}
StringMatch CString::findAnyNoCase(const char* set, StringPosition start) const {
  return FindAny<true>(*this, Many<true>(set), start);
}
StringMatch CString::findAnyNoCase(const char* set, std::int32_t start) const {
  return FindAny<true>(*this, Many<true>(set), start);
}
StringMatch CString::findAnyNoCase(const IString& set, StringPosition start) const {
  return FindAny<true>(*this, Many<true>(set), start);
}
StringMatch CString::findAnyNoCase(const IString& set, std::int32_t start) const {
  return FindAny<true>(*this, Many<true>(set), start);
}
StringPosition CString::findLast(const char16_t* other, StringPosition start) const {
  return FindLast<false>(*this, One<false>(TextView(other)), start);
}
StringPosition CString::findLast(const char16_t* other, std::int32_t start) const {
  return FindLast<false>(*this, One<false>(TextView(other)), start);
}
StringPosition CString::findLast(const char* other, StringPosition start) const {
  return FindLast<false>(*this, One<false>(TextView(other)), start);
}
StringPosition CString::findLast(const char* other, std::int32_t start) const {
  return FindLast<false>(*this, One<false>(TextView(other)), start);
}
StringPosition CString::findLast(const IString& other, StringPosition start) const {
  return FindLast<false>(*this, One<false>(TextView(other)), start);
}
StringPosition CString::findLast(const IString& other, std::int32_t start) const {
  return FindLast<false>(*this, One<false>(TextView(other)), start);
}
StringPosition CString::findLast(CodePoint c, StringPosition start) const {
  return FindLast<false>(*this, One<false>(c), start);
}
StringPosition CString::findLast(CodePoint c, std::int32_t start) const {
  return FindLast<false>(*this, One<false>(c), start);
}
StringPosition CString::findLastNoCase(const char16_t* other, StringPosition start) const {
  return FindLast<true>(*this, One<true>(TextView(other)), start);
}
StringPosition CString::findLastNoCase(const char16_t* other, std::int32_t start) const {
  return FindLast<true>(*this, One<true>(TextView(other)), start);
}
StringPosition CString::findLastNoCase(const char* other, StringPosition start) const {
  return FindLast<true>(*this, One<true>(TextView(other)), start);
}
StringPosition CString::findLastNoCase(const char* other, std::int32_t start) const {
  return FindLast<true>(*this, One<true>(TextView(other)), start);
}
StringPosition CString::findLastNoCase(const IString& other, StringPosition start) const {
  return FindLast<true>(*this, One<true>(TextView(other)), start);
}
StringPosition CString::findLastNoCase(const IString& other, std::int32_t start) const {
  return FindLast<true>(*this, One<true>(TextView(other)), start);
}
StringPosition CString::findLastNoCase(CodePoint c, StringPosition start) const {
  return FindLast<true>(*this, One<true>(c), start);
}
StringPosition CString::findLastNoCase(CodePoint c, std::int32_t start) const {
  return FindLast<true>(*this, One<true>(c), start);
}
StringMatch CString::findLastAny(const char16_t* const* list, StringPosition start) const {
  return FindLastAny<false>(*this, Many<false>(list), start);
}
StringMatch CString::findLastAny(const char16_t* const* list, std::int32_t start) const {
  return FindLastAny<false>(*this, Many<false>(list), start);
}
StringMatch CString::findLastAny(const char* const* list, StringPosition start) const {
  return FindLastAny<false>(*this, Many<false>(list), start);
}
StringMatch CString::findLastAny(const char* const* list, std::int32_t start) const {
  return FindLastAny<false>(*this, Many<false>(list), start);
}
StringMatch CString::findLastAny(const IConstArray& list, StringPosition start) const {
  return FindLastAny<false>(*this, Many<false>(list), start);
}
StringMatch CString::findLastAny(const IConstArray& list, std::int32_t start) const {
  return FindLastAny<false>(*this, Many<false>(list), start);
}
StringMatch CString::findLastAny(const char16_t* set, StringPosition start) const {
  return FindLastAny<false>(*this, Many<false>(set), start);
}
StringMatch CString::findLastAny(const char16_t* set, std::int32_t start) const {
  return FindLastAny<false>(*this, Many<false>(set), start);
}
StringMatch CString::findLastAny(const char* set, StringPosition start) const {
  return FindLastAny<false>(*this, Many<false>(set), start);
}
StringMatch CString::findLastAny(const char* set, std::int32_t start) const {
  return FindLastAny<false>(*this, Many<false>(set), start);
}
StringMatch CString::findLastAny(const IString& set, StringPosition start) const {
  return FindLastAny<false>(*this, Many<false>(set), start);
}
StringMatch CString::findLastAny(const IString& set, std::int32_t start) const {
  return FindLastAny<false>(*this, Many<false>(set), start);
}
StringMatch CString::findLastAnyNoCase(const char16_t* const* list, StringPosition start) const {
  return FindLastAny<true>(*this, Many<true>(list), start);
}
StringMatch CString::findLastAnyNoCase(const char16_t* const* list, std::int32_t start) const {
  return FindLastAny<true>(*this, Many<true>(list), start);
}
StringMatch CString::findLastAnyNoCase(const char* const* list, StringPosition start) const {
  return FindLastAny<true>(*this, Many<true>(list), start);
}
StringMatch CString::findLastAnyNoCase(const char* const* list, std::int32_t start) const {
  return FindLastAny<true>(*this, Many<true>(list), start);
}
StringMatch CString::findLastAnyNoCase(const IConstArray& list, StringPosition start) const {
  return FindLastAny<true>(*this, Many<true>(list), start);
}
StringMatch CString::findLastAnyNoCase(const IConstArray& list, std::int32_t start) const {
  return FindLastAny<true>(*this, Many<true>(list), start);
}
StringMatch CString::findLastAnyNoCase(const char16_t* set, StringPosition start) const {
  return FindLastAny<true>(*this, Many<true>(set), start);
}
StringMatch CString::findLastAnyNoCase(const char16_t* set, std::int32_t start) const {
  return FindLastAny<true>(*this, Many<true>(set), start);
}
StringMatch CString::findLastAnyNoCase(const char* set, StringPosition start) const {
  return FindLastAny<true>(*this, Many<true>(set), start);
}
StringMatch CString::findLastAnyNoCase(const char* set, std::int32_t start) const {
  return FindLastAny<true>(*this, Many<true>(set), start);
}
StringMatch CString::findLastAnyNoCase(const IString& set, StringPosition start) const {
  return FindLastAny<true>(*this, Many<true>(set), start);
}
StringMatch CString::findLastAnyNoCase(const IString& set, std::int32_t start) const {
  return FindLastAny<true>(*this, Many<true>(set), start);
}
String CString::slice(StringPosition start, StringPosition end) const { return SliceOf(*this, start, end); }
String CString::slice(std::int32_t start, std::int32_t end) const { return SliceBetween(*this, start, end); }
String CString::splice(StringPosition start, std::int32_t count, const char16_t* other) const {
  return Splice(*this, start, count, TextView(other));
}
String CString::splice(std::int32_t start, std::int32_t count, const char16_t* other) const {
  return Splice(*this, start, count, TextView(other));
}
String CString::splice(StringPosition start, std::int32_t count, const char* other) const {
  return Splice(*this, start, count, TextView(other));
}
String CString::splice(std::int32_t start, std::int32_t count, const char* other) const {
  return Splice(*this, start, count, TextView(other));
}
String CString::splice(StringPosition start, std::int32_t count, const IString& other) const {
  return Splice(*this, start, count, TextView(other));
}
String CString::splice(std::int32_t start, std::int32_t count, const IString& other) const {
  return Splice(*this, start, count, TextView(other));
}
String CString::splice(StringPosition start, std::int32_t count, CodePoint c) const {
  return Splice(*this, start, count, TextView(&c, 1));
}
String CString::splice(std::int32_t start, std::int32_t count, CodePoint c) const {
  return Splice(*this, start, count, TextView(&c, 1));
}
String CString::concat(const char16_t* other) const { return Concat(*this, TextView(other)); }
String CString::concat(const char* other) const { return Concat(*this, TextView(other)); }
String CString::concat(const IString& other) const { return Concat(*this, TextView(other)); }
String CString::concat(CodePoint c) const { return Concat(*this, TextView(&c, 1)); }
String CString::nextToken(StringPosition& at, const char16_t* separator) const {
  return NextToken<false>(*this, at, One<false>(TextView(separator)));
}
String CString::nextToken(StringPosition& at, const char* separator) const {
  return NextToken<false>(*this, at, One<false>(TextView(separator)));
}
String CString::nextToken(StringPosition& at, const IString& separator) const {
  return NextToken<false>(*this, at, One<false>(TextView(separator)));
}
String CString::nextToken(StringPosition& at, CodePoint separator) const {
  return NextToken<false>(*this, at, One<false>(separator));
}
String CString::nextTokenNoCase(StringPosition& at, const char16_t* separator) const {
  return NextToken<true>(*this, at, One<true>(TextView(separator)));
}
String CString::nextTokenNoCase(StringPosition& at, const char* separator) const {
  return NextToken<true>(*this, at, One<true>(TextView(separator)));
}
String CString::nextTokenNoCase(StringPosition& at, const IString& separator) const {
  return NextToken<true>(*this, at, One<true>(TextView(separator)));
}
String CString::nextTokenNoCase(StringPosition& at, CodePoint separator) const {
  return NextToken<true>(*this, at, One<true>(separator));
}
String CString::nextTokenAny(StringPosition& at, const char16_t* const* list) const {
  return NextToken<false>(*this, at, Many<false>(list));
}
String CString::nextTokenAny(StringPosition& at, const char* const* list) const {
  return NextToken<false>(*this, at, Many<false>(list));
}
String CString::nextTokenAny(StringPosition& at, const IConstArray& list) const {
  return NextToken<false>(*this, at, Many<false>(list));
}
String CString::nextTokenAny(StringPosition& at, const char16_t* set) const {
  return NextToken<false>(*this, at, Many<false>(set));
}
String CString::nextTokenAny(StringPosition& at, const char* set) const {
  return NextToken<false>(*this, at, Many<false>(set));
}
String CString::nextTokenAny(StringPosition& at, const IString& set) const {
  return NextToken<false>(*this, at, Many<false>(set));
}
String CString::nextTokenAnyNoCase(StringPosition& at, const char16_t* const* list) const {
  return NextToken<true>(*this, at, Many<true>(list));
}
String CString::nextTokenAnyNoCase(StringPosition& at, const char* const* list) const {
  return NextToken<true>(*this, at, Many<true>(list));
}
String CString::nextTokenAnyNoCase(StringPosition& at, const IConstArray& list) const {
  return NextToken<true>(*this, at, Many<true>(list));
}
String CString::nextTokenAnyNoCase(StringPosition& at, const char16_t* set) const {
  return NextToken<true>(*this, at, Many<true>(set));
}
String CString::nextTokenAnyNoCase(StringPosition& at, const char* set) const {
  return NextToken<true>(*this, at, Many<true>(set));
}
String CString::nextTokenAnyNoCase(StringPosition& at, const IString& set) const {
  return NextToken<true>(*this, at, Many<true>(set));
}
std::int32_t CString::count(const char16_t* other) const { return Count<false>(*this, One<false>(TextView(other))); }
std::int32_t CString::count(const char* other) const { return Count<false>(*this, One<false>(TextView(other))); }
std::int32_t CString::count(const IString& other) const { return Count<false>(*this, One<false>(TextView(other))); }
std::int32_t CString::count(CodePoint c) const { return Count<false>(*this, One<false>(c)); }
std::int32_t CString::countNoCase(const char16_t* other) const {
  return Count<true>(*this, One<true>(TextView(other)));
}
std::int32_t CString::countNoCase(const char* other) const { return Count<true>(*this, One<true>(TextView(other))); }
std::int32_t CString::countNoCase(const IString& other) const { return Count<true>(*this, One<true>(TextView(other))); }
std::int32_t CString::countNoCase(CodePoint c) const { return Count<true>(*this, One<true>(c)); }
std::int32_t CString::countAny(const char16_t* const* list) const { return Count<false>(*this, Many<false>(list)); }
std::int32_t CString::countAny(const char* const* list) const { return Count<false>(*this, Many<false>(list)); }
std::int32_t CString::countAny(const IConstArray& list) const { return Count<false>(*this, Many<false>(list)); }
std::int32_t CString::countAny(const char16_t* set) const { return Count<false>(*this, Many<false>(set)); }
std::int32_t CString::countAny(const char* set) const { return Count<false>(*this, Many<false>(set)); }
std::int32_t CString::countAny(const IString& set) const { return Count<false>(*this, Many<false>(set)); }
std::int32_t CString::countAnyNoCase(const char16_t* const* list) const { return Count<true>(*this, Many<true>(list)); }
std::int32_t CString::countAnyNoCase(const char* const* list) const { return Count<true>(*this, Many<true>(list)); }
std::int32_t CString::countAnyNoCase(const IConstArray& list) const { return Count<true>(*this, Many<true>(list)); }
std::int32_t CString::countAnyNoCase(const char16_t* set) const { return Count<true>(*this, Many<true>(set)); }
std::int32_t CString::countAnyNoCase(const char* set) const { return Count<true>(*this, Many<true>(set)); }
std::int32_t CString::countAnyNoCase(const IString& set) const { return Count<true>(*this, Many<true>(set)); }
String CString::trim(CodePoint t) const { return Trim<false>(*this, t, true, true); }
String CString::trimLeft(CodePoint t) const { return Trim<false>(*this, t, true, false); }
String CString::trimRight(CodePoint t) const { return Trim<false>(*this, t, false, true); }
String CString::trimNoCase(CodePoint t) const { return Trim<true>(*this, t, true, true); }
String CString::trimLeftNoCase(CodePoint t) const { return Trim<true>(*this, t, true, false); }
String CString::trimRightNoCase(CodePoint t) const { return Trim<true>(*this, t, false, true); }
String CString::trimAny(const char16_t* set) const { return Trim<false>(*this, TextView(set), true, true); }
String CString::trimAny(const char* set) const { return Trim<false>(*this, TextView(set), true, true); }
String CString::trimAny(const IString& set) const { return Trim<false>(*this, TextView(set), true, true); }
String CString::trimAnyLeft(const char16_t* set) const { return Trim<false>(*this, TextView(set), true, false); }
String CString::trimAnyLeft(const char* set) const { return Trim<false>(*this, TextView(set), true, false); }
String CString::trimAnyLeft(const IString& set) const { return Trim<false>(*this, TextView(set), true, false); }
String CString::trimAnyRight(const char16_t* set) const { return Trim<false>(*this, TextView(set), false, true); }
String CString::trimAnyRight(const char* set) const { return Trim<false>(*this, TextView(set), false, true); }
String CString::trimAnyRight(const IString& set) const { return Trim<false>(*this, TextView(set), false, true); }
String CString::trimAnyNoCase(const char16_t* set) const { return Trim<true>(*this, TextView(set), true, true); }
String CString::trimAnyNoCase(const char* set) const { return Trim<true>(*this, TextView(set), true, true); }
String CString::trimAnyNoCase(const IString& set) const { return Trim<true>(*this, TextView(set), true, true); }
String CString::trimAnyLeftNoCase(const char16_t* set) const { return Trim<true>(*this, TextView(set), true, false); }
String CString::trimAnyLeftNoCase(const char* set) const { return Trim<true>(*this, TextView(set), true, false); }
String CString::trimAnyLeftNoCase(const IString& set) const { return Trim<true>(*this, TextView(set), true, false); }
String CString::trimAnyRightNoCase(const char16_t* set) const { return Trim<true>(*this, TextView(set), false, true); }
String CString::trimAnyRightNoCase(const char* set) const { return Trim<true>(*this, TextView(set), false, true); }
String CString::trimAnyRightNoCase(const IString& set) const { return Trim<true>(*this, TextView(set), false, true); }
String CString::replace(const char16_t* what, const char16_t* with) const {
  return Replace<false>(*this, One<false>(TextView(what)), TextView(with));
}
String CString::replace(const char* what, const char* with) const {
  return Replace<false>(*this, One<false>(TextView(what)), TextView(with));
}
String CString::replace(const IString& what, const IString& with) const {
  return Replace<false>(*this, One<false>(TextView(what)), TextView(with));
}
String CString::replace(CodePoint what, CodePoint with) const {
  return Replace<false>(*this, One<false>(what), TextView(&with, 1));
}
String CString::replaceNoCase(const char16_t* what, const char16_t* with) const {
  return Replace<true>(*this, One<true>(TextView(what)), TextView(with));
}
String CString::replaceNoCase(const char* what, const char* with) const {
  return Replace<true>(*this, One<true>(TextView(what)), TextView(with));
}
String CString::replaceNoCase(const IString& what, const IString& with) const {
  return Replace<true>(*this, One<true>(TextView(what)), TextView(with));
}
String CString::replaceNoCase(CodePoint what, CodePoint with) const {
  return Replace<true>(*this, One<true>(what), TextView(&with, 1));
}
String CString::replaceAny(const char16_t* const* list, const char16_t* with) const {
  return Replace<false>(*this, Many<false>(list), TextView(with));
}
String CString::replaceAny(const char16_t* const* list, const char* with) const {
  return Replace<false>(*this, Many<false>(list), TextView(with));
}
String CString::replaceAny(const char16_t* const* list, const IString& with) const {
  return Replace<false>(*this, Many<false>(list), TextView(with));
}
String CString::replaceAny(const char* const* list, const char16_t* with) const {
  return Replace<false>(*this, Many<false>(list), TextView(with));
}
String CString::replaceAny(const char* const* list, const char* with) const {
  return Replace<false>(*this, Many<false>(list), TextView(with));
}
String CString::replaceAny(const char* const* list, const IString& with) const {
  return Replace<false>(*this, Many<false>(list), TextView(with));
}
String CString::replaceAny(const IConstArray& list, const char16_t* with) const {
  return Replace<false>(*this, Many<false>(list), TextView(with));
}
String CString::replaceAny(const IConstArray& list, const char* with) const {
  return Replace<false>(*this, Many<false>(list), TextView(with));
}
String CString::replaceAny(const IConstArray& list, const IString& with) const {
  return Replace<false>(*this, Many<false>(list), TextView(with));
}
String CString::replaceAny(const char16_t* set, const char16_t* with) const {
  return Replace<false>(*this, Many<false>(set), TextView(with));
}
String CString::replaceAny(const char16_t* set, const char* with) const {
  return Replace<false>(*this, Many<false>(set), TextView(with));
}
String CString::replaceAny(const char16_t* set, const IString& with) const {
  return Replace<false>(*this, Many<false>(set), TextView(with));
}
String CString::replaceAny(const char* set, const char16_t* with) const {
  return Replace<false>(*this, Many<false>(set), TextView(with));
}
String CString::replaceAny(const char* set, const char* with) const {
  return Replace<false>(*this, Many<false>(set), TextView(with));
}
String CString::replaceAny(const char* set, const IString& with) const {
  return Replace<false>(*this, Many<false>(set), TextView(with));
}
String CString::replaceAny(const IString& set, const char16_t* with) const {
  return Replace<false>(*this, Many<false>(set), TextView(with));
}
String CString::replaceAny(const IString& set, const char* with) const {
  return Replace<false>(*this, Many<false>(set), TextView(with));
}
String CString::replaceAny(const IString& set, const IString& with) const {
  return Replace<false>(*this, Many<false>(set), TextView(with));
}
String CString::toLowerCase() const { return MapCase<false>(*this); }
String CString::toUpperCase() const { return MapCase<true>(*this); }
String CString::copy() const { return make<CString>(*this); }

CLatin1String::CLatin1String(const char* data, std::int32_t length, StringMode mode)
    : CString(data, length, length, false, GetLatin1CharEncoding(), mode) {}

CWCharString::CWCharString(const char16_t* data, std::int32_t byteLength, std::int32_t charCount, StringMode mode)
    : CString(data, byteLength, charCount, false, GetUTF16CharEncoding(), mode) {}

CUTF8String::CUTF8String(const std::uint8_t* data, std::int32_t byteLength, std::int32_t charCount, StringMode mode)
    : CString(data, byteLength, charCount, false, GetUTF8CharEncoding(), mode) {}

CUTF32String::CUTF32String(const std::uint32_t* data, std::int32_t byteLength, std::int32_t charCount, StringMode mode)
    : CString(data, byteLength, charCount, false, GetUTF32CharEncoding(), mode) {}

CCPString::CCPString(const std::uint8_t* data, std::int32_t byteLength, std::int32_t charCount, StringMode mode)
    : CString(data, byteLength, charCount, false, GetCPCharEncoding(), mode) {}

String::String() : text(TNullString<char, CLatin1String>::instance()) {}

String::String(const char* latin1)
    : text(latin1 ? P<IString>(make<CLatin1String>(latin1)) : TNullString<char, CLatin1String>::instance()) {}

String::String(const char16_t* utf16)
    : text(utf16 ? P<IString>(make<CWCharString>(utf16)) : TNullString<char, CLatin1String>::instance()) {}

String::String(P<IString> text) : text(text ? std::move(text) : TNullString<char, CLatin1String>::instance()) {}

}  // namespace lumo
