#include "foundation/StringEngine.h"

#include <algorithm>
#include <cstring>

#include "foundation/CString.h"

namespace lumo::detail {

bool Fits(const ICharEncoding& encoding, CodePoint c) {
  if (encoding.getId() == kLatin1EncodingId) return c <= 0xFF;
  return encoding.getEncodedSize(c) > 0;
}

namespace {

// Calls `visit` with each code point of the piece until it answers false.
template <class Visit>
bool EachChar(const Piece& piece, Visit&& visit) {
  TextReader reader(piece.text->bytes, piece.text->size, piece.text->encoding, piece.from, piece.to);
  for (CodePoint c; reader.next(c);) {
    if (!visit(c)) return false;
  }
  return true;
}

bool FitsAll(std::span<const Piece> pieces, const ICharEncoding& target) {
  for (const Piece& piece : pieces) {
    if (piece.text->hasEncoding(target)) continue;
    if (!EachChar(piece, [&](CodePoint c) { return Fits(target, c); })) return false;
  }
  return true;
}

}  // namespace

String Build(std::span<const Piece> pieces, const P<ICharEncoding>& preferred) {
  const P<ICharEncoding>* target = &preferred;
  if (!FitsAll(pieces, *preferred)) {
    target = FitsAll(pieces, *GetUTF16CharEncoding()) ? &GetUTF16CharEncoding() : &GetUTF32CharEncoding();
  }
  const ICharEncoding& encoding = **target;

  std::int32_t size = 0;
  for (const Piece& piece : pieces) {
    if (piece.text->hasEncoding(encoding)) {
      size += piece.to - piece.from;
    } else {
      EachChar(piece, [&](CodePoint c) { return (size += encoding.getEncodedSize(c), true); });
    }
  }
  const std::int32_t nulSize = std::max(encoding.getEncodedSize(0), 1);
  std::uint8_t* buffer = CString::allocate(size + nulSize);
  std::int32_t at = 0;
  for (const Piece& piece : pieces) {
    if (piece.text->hasEncoding(encoding)) {
      std::memcpy(buffer + at, piece.text->bytes + piece.from, static_cast<std::size_t>(piece.to - piece.from));
      at += piece.to - piece.from;
    } else {
      EachChar(piece, [&](CodePoint c) { return (at = encoding.encodeChar(c, buffer, size, at), true); });
    }
  }
  std::memset(buffer + at, 0, static_cast<std::size_t>(size + nulSize - at));
  encoding.encodeChar(0, buffer, size + nulSize, at);
  return make<CString>(buffer, at, -1, true, *target, StringMode::kAdopt);
}

}  // namespace lumo::detail
