#include "foundation/CString.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "foundation/Cast.h"
#include "foundation/StringEngine.h"

namespace lumo {

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

std::int32_t CString::compare(const IString& other, std::int32_t startIndex, std::int32_t maxCount) const {
  TextReader mine(text, bytes, *encoding, encoding->getCharOffset(text, bytes, startIndex), bytes);
  TextReader theirs{TextView(other)};
  for (std::int32_t compared = 0; maxCount < 0 || compared < maxCount; ++compared) {
    CodePoint a, b;
    if (!theirs.next(b)) return mine.next(a) ? 1 : 0;
    if (!mine.next(a)) return -1;
    if (a != b) return a < b ? -1 : 1;
  }
  return 0;
}

namespace {

// This string with `other` behind it.
String Concat(const CString& self, const TextView& other) {
  const TextView mine(self);
  const Piece pieces[] = {Whole(mine), Whole(other)};
  return Build(pieces, self.getEncoding());
}

}  // namespace

String CString::concat(const char16_t* other) const { return Concat(*this, TextView(other)); }

String CString::concat(const char* other) const { return Concat(*this, TextView(other)); }

String CString::concat(const IString& other) const { return Concat(*this, TextView(other)); }

String CString::replace(const IString& what, const IString& with) const {
  const TextView mine(*this), pattern(what), replacement(with);
  std::vector<CodePoint> wanted;
  {
    TextReader reader(pattern);
    for (CodePoint c; reader.next(c);) wanted.push_back(c);
  }
  // Every code point of this string with its start offset, and the end.
  std::vector<CodePoint> chars;
  std::vector<std::int32_t> starts;
  {
    TextReader reader(mine);
    for (CodePoint c; reader.next(c);) {
      chars.push_back(c);
      starts.push_back(reader.lastStart());
    }
  }
  starts.push_back(bytes);

  std::vector<Piece> pieces;
  std::size_t copiedUpTo = 0;
  if (!wanted.empty()) {
    for (std::size_t at = 0; at + wanted.size() <= chars.size();) {
      if (std::equal(wanted.begin(), wanted.end(), chars.begin() + static_cast<std::ptrdiff_t>(at))) {
        pieces.push_back({&mine, starts[copiedUpTo], starts[at]});
        pieces.push_back(Whole(replacement));
        at += wanted.size();
        copiedUpTo = at;
      } else {
        ++at;
      }
    }
  }
  if (pieces.empty()) return copy();
  pieces.push_back({&mine, starts[copiedUpTo], bytes});
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
