#include "foundation/CString.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "foundation/Cast.h"

namespace lumo {

namespace {

// Enough zero bytes for an encoded NUL in any encoding.
constexpr std::uint8_t kNoText[16] = {};

// Reads a text's code points in blocks of 16, as the encoding's decodeChars
// hands them out, together with each one's start offset.
class TextReader {
 public:
  static constexpr std::int32_t kBlock = 16;

  TextReader(const std::uint8_t* bytes, std::int32_t size, const ICharEncoding& encoding,
             std::int32_t offset)
      : bytes(bytes), size(size), encoding(encoding), offset(offset) {}
  explicit TextReader(const IString& text, std::int32_t offset = 0)
      : TextReader(text.data(), text.byteLength(), *text.getEncoding(), offset) {}

  bool next(CodePoint& c) {
    if (at == count && !refill()) return false;
    c = chars[at++];
    return true;
  }
  // Start offset of the code point that `next` returned last.
  std::int32_t lastStart() const { return starts[at - 1]; }

 private:
  bool refill() {
    if (offset < 0 || offset >= size) return false;
    offset = encoding.decodeChars(chars, kBlock, count, bytes, size, offset, starts);
    at = 0;
    return count > 0;
  }

  const std::uint8_t* bytes;
  std::int32_t size;
  const ICharEncoding& encoding;
  std::int32_t offset;
  CodePoint chars[kBlock];
  std::int32_t starts[kBlock];
  std::int32_t count = 0;
  std::int32_t at = 0;
};

// Latin-1 writes "?" for what it cannot hold rather than refusing it, so
// whether a character fits is asked of the code point there.
bool Fits(const ICharEncoding& encoding, CodePoint c) {
  if (encoding.getId() == kLatin1EncodingId) return c <= 0xFF;
  return encoding.getEncodedSize(c) > 0;
}

// A byte range of a text. Pieces in the target encoding are copied as they
// are; others are decoded and written character by character.
struct Piece {
  const IString* text;
  std::int32_t from;
  std::int32_t to;
};

template <class Visit>
bool EachChar(const Piece& piece, Visit&& visit) {
  TextReader reader(piece.text->data(), piece.to, *piece.text->getEncoding(), piece.from);
  for (CodePoint c; reader.next(c);) {
    if (!visit(c)) return false;
  }
  return true;
}

// A new string made of `pieces`, in `preferred` when everything fits there,
// else in UTF-16, else in UTF-32.
String Build(const std::vector<Piece>& pieces, const P<ICharEncoding>& preferred) {
  auto fitsAll = [&](const ICharEncoding& target) {
    for (const Piece& piece : pieces) {
      if (piece.text->hasEncoding(target.getId())) continue;
      if (!EachChar(piece, [&](CodePoint c) { return Fits(target, c); })) return false;
    }
    return true;
  };
  const P<ICharEncoding>* target = &preferred;
  if (!fitsAll(*preferred)) {
    target = fitsAll(*GetUTF16CharEncoding()) ? &GetUTF16CharEncoding() : &GetUTF32CharEncoding();
  }
  const ICharEncoding& encoding = **target;

  std::int32_t size = 0;
  for (const Piece& piece : pieces) {
    if (piece.text->hasEncoding(encoding.getId())) {
      size += piece.to - piece.from;
    } else {
      EachChar(piece, [&](CodePoint c) { return (size += encoding.getEncodedSize(c), true); });
    }
  }
  const std::int32_t nulSize = std::max(encoding.getEncodedSize(0), 1);
  std::uint8_t* buffer = CString::allocate(size + nulSize);
  std::int32_t at = 0;
  for (const Piece& piece : pieces) {
    if (piece.text->hasEncoding(encoding.getId())) {
      std::memcpy(buffer + at, piece.text->data() + piece.from, static_cast<std::size_t>(piece.to - piece.from));
      at += piece.to - piece.from;
    } else {
      EachChar(piece, [&](CodePoint c) { return (at = encoding.encodeChar(c, buffer, size, at), true); });
    }
  }
  std::memset(buffer + at, 0, static_cast<std::size_t>(size + nulSize - at));
  encoding.encodeChar(0, buffer, size + nulSize, at);
  return make<CString>(buffer, at, -1, true, *target, StringMode::kAdopt);
}

Piece Whole(const IString& text) { return {&text, 0, text.byteLength()}; }

// Plain text arguments are read in place, as borrowed strings on the stack.
class BorrowedLatin1 final : public CLatin1String {
 public:
  explicit BorrowedLatin1(const char* text) : CLatin1String(text, -1, StringMode::kBorrow) {}
  ~BorrowedLatin1() override = default;
};
class BorrowedUTF16 final : public CWCharString {
 public:
  explicit BorrowedUTF16(const char16_t* text) : CWCharString(text, -1, -1, StringMode::kBorrow) {}
  ~BorrowedUTF16() override = default;
};

}  // namespace

CString::CString(const void* data, std::int32_t byteLength, std::int32_t charCount, bool terminated,
                 P<ICharEncoding> encoding, StringMode mode)
    : terminated(terminated), encoding(encoding ? std::move(encoding) : GetLatin1CharEncoding()) {
  auto source = static_cast<const std::uint8_t*>(data);
  if (!source) {
    source = kNoText;
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
    : CString(kNoText, 0, 0, true, std::move(encoding), StringMode::kBorrow) {}

CString::~CString() {
  if (ownsData) delete[] text;
}

std::uint8_t* CString::allocate(std::int32_t bytes) { return new std::uint8_t[static_cast<std::size_t>(bytes)]; }

String CString::convert(const IString& text, const P<ICharEncoding>& encoding) {
  const std::int32_t questionSize = encoding->getEncodedSize('?');
  const std::size_t room = static_cast<std::size_t>(std::max(encoding->getMaxCharSize(), 4));
  std::vector<std::uint8_t> out(2 * room);
  std::int32_t at = 0;
  TextReader reader(text);
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

std::int32_t CString::compare(const IString& other, std::int32_t startIndex, std::int32_t maxCount) const {
  TextReader mine(text, bytes, *encoding, encoding->getCharOffset(text, bytes, startIndex));
  TextReader theirs(other);
  for (std::int32_t compared = 0; maxCount < 0 || compared < maxCount; ++compared) {
    CodePoint a, b;
    if (!theirs.next(b)) return mine.next(a) ? 1 : 0;
    if (!mine.next(a)) return -1;
    if (a != b) return a < b ? -1 : 1;
  }
  return 0;
}

String CString::concat(const char16_t* other) const { return concat(BorrowedUTF16(other)); }

String CString::concat(const char* other) const { return concat(BorrowedLatin1(other)); }

String CString::concat(const IString& other) const { return Build({Whole(*this), Whole(other)}, encoding); }

String CString::replace(const IString& what, const IString& with) const {
  std::vector<CodePoint> pattern;
  {
    TextReader reader(what);
    for (CodePoint c; reader.next(c);) pattern.push_back(c);
  }
  // Every code point of this string with its start offset, and the end.
  std::vector<CodePoint> mine;
  std::vector<std::int32_t> starts;
  {
    TextReader reader(*this);
    for (CodePoint c; reader.next(c);) {
      mine.push_back(c);
      starts.push_back(reader.lastStart());
    }
  }
  starts.push_back(bytes);

  std::vector<Piece> pieces;
  std::size_t copiedUpTo = 0;
  if (!pattern.empty()) {
    for (std::size_t at = 0; at + pattern.size() <= mine.size();) {
      if (std::equal(pattern.begin(), pattern.end(), mine.begin() + static_cast<std::ptrdiff_t>(at))) {
        pieces.push_back({this, starts[copiedUpTo], starts[at]});
        pieces.push_back(Whole(with));
        at += pattern.size();
        copiedUpTo = at;
      } else {
        ++at;
      }
    }
  }
  if (pieces.empty()) return copy();
  pieces.push_back({this, starts[copiedUpTo], bytes});
  return Build(pieces, encoding);
}

String CString::copy() const { return make<CString>(*this); }

CLatin1String::CLatin1String(const char* data, std::int32_t length, StringMode mode)
    : CString(data, length, length, false, GetLatin1CharEncoding(), mode) {}

CWCharString::CWCharString(const char16_t* data, std::int32_t byteLength, std::int32_t charCount,
                           StringMode mode)
    : CString(data, byteLength, charCount, false, GetUTF16CharEncoding(), mode) {}

CUTF8String::CUTF8String(const std::uint8_t* data, std::int32_t byteLength, std::int32_t charCount,
                         StringMode mode)
    : CString(data, byteLength, charCount, false, GetUTF8CharEncoding(), mode) {}

CUTF32String::CUTF32String(const std::uint32_t* data, std::int32_t byteLength, std::int32_t charCount,
                           StringMode mode)
    : CString(data, byteLength, charCount, false, GetUTF32CharEncoding(), mode) {}

CCPString::CCPString(const std::uint8_t* data, std::int32_t byteLength, std::int32_t charCount,
                     StringMode mode)
    : CString(data, byteLength, charCount, false, GetCPCharEncoding(), mode) {}

String::String() : text(TNullString<char, CLatin1String>::instance()) {}

String::String(const char* latin1)
    : text(latin1 ? P<IString>(make<CLatin1String>(latin1)) : TNullString<char, CLatin1String>::instance()) {}

String::String(const char16_t* utf16)
    : text(utf16 ? P<IString>(make<CWCharString>(utf16)) : TNullString<char, CLatin1String>::instance()) {}

String::String(P<IString> text)
    : text(text ? std::move(text) : TNullString<char, CLatin1String>::instance()) {}

}  // namespace lumo
