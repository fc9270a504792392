// The five encodings. Each one supplies its strict rules as a codec (decode
// one character at an offset, encode one, and the strict backwards step);
// TCharEncoding builds every walking operation once on top of a codec.

#include <algorithm>
#include <bit>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "compat/win32/Utf8.h"
#include "compat/win32/Utf8Block.h"
#include "foundation/Exception.h"
#include "foundation/ICharEncoding.h"
#include "foundation/Object.h"
#include "foundation/Singleton.h"

namespace lumo {

namespace {

inline std::uint32_t Load16(const std::uint8_t* at) {
  std::uint16_t unit;
  std::memcpy(&unit, at, sizeof unit);
  return unit;
}
inline std::uint32_t Load32(const std::uint8_t* at) {
  std::uint32_t unit;
  std::memcpy(&unit, at, sizeof unit);
  return unit;
}
inline void Store16(std::uint8_t* at, std::uint32_t unit) {
  const auto value = static_cast<std::uint16_t>(unit);
  std::memcpy(at, &value, sizeof value);
}
inline void Store32(std::uint8_t* at, std::uint32_t unit) { std::memcpy(at, &unit, sizeof unit); }

#if defined(__SSE2__)
inline __m128i Load16Bytes(const std::uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
inline std::uint32_t ByteMask(__m128i bytes) { return static_cast<std::uint32_t>(_mm_movemask_epi8(bytes)); }
#endif

// Codec contract (all static):
//   kId, kName, kStep (how far lenient decoding moves past an invalid start),
//   maxCharSize(), encodedSize(c), encode(c, buffer, size, offset),
//   decodeAt(c, buffer, size, offset): strict; offset behind the character or -1,
//   decodeBefore(c, buffer, offset): strict backwards; start of the character
//     that ends exactly at offset, or -1,
//   terminatedSize(text).
// A codec may also offer decodeRun, a fast loop over common characters for
// the block decoder, or replace the block decoder and the counter altogether
// (decodeBlock, countChars).
// Offsets handed to a codec satisfy 0 <= offset <= size.

struct Latin1Codec {
  static constexpr std::uint32_t kId = kLatin1EncodingId;
  static constexpr const char* kName = "Latin-1";
  static constexpr std::int32_t kStep = 1;
  static std::int32_t maxCharSize() { return 1; }
  static std::int32_t encodedSize(CodePoint) { return 1; }
  static std::int32_t encode(CodePoint c, std::uint8_t* buffer, std::int32_t size, std::int32_t offset) {
    if (size - offset < 1) return offset;
    buffer[offset] = c <= 0xFF ? static_cast<std::uint8_t>(c) : '?';
    return offset + 1;
  }
  static std::int32_t decodeAt(CodePoint& c, const std::uint8_t* buffer, std::int32_t size,
                               std::int32_t offset) {
    if (size - offset < 1) return -1;
    c = buffer[offset];
    return offset + 1;
  }
  static std::int32_t decodeBefore(CodePoint& c, const std::uint8_t* buffer, std::int32_t offset) {
    if (offset < 1) return -1;
    c = buffer[offset - 1];
    return offset - 1;
  }
  static std::int32_t terminatedSize(const std::uint8_t* text) {
    return static_cast<std::int32_t>(std::strlen(reinterpret_cast<const char*>(text)));
  }
};

struct UTF32Codec {
  static constexpr std::uint32_t kId = kUTF32EncodingId;
  static constexpr const char* kName = "UTF-32";
  static constexpr std::int32_t kStep = 4;
  static std::int32_t maxCharSize() { return 4; }
  static std::int32_t encodedSize(CodePoint) { return 4; }
  static std::int32_t encode(CodePoint c, std::uint8_t* buffer, std::int32_t size, std::int32_t offset) {
    if (size - offset < 4) return offset;
    Store32(buffer + offset, c);
    return offset + 4;
  }
  static std::int32_t decodeAt(CodePoint& c, const std::uint8_t* buffer, std::int32_t size,
                               std::int32_t offset) {
    if (size - offset < 4) return -1;
    c = Load32(buffer + offset);
    return offset + 4;
  }
  static std::int32_t decodeBefore(CodePoint& c, const std::uint8_t* buffer, std::int32_t offset) {
    if (offset < 4) return -1;
    c = Load32(buffer + offset - 4);
    return offset - 4;
  }
  static std::int32_t terminatedSize(const std::uint8_t* text) {
    std::int32_t size = 0;
    while (Load32(text + size) != 0) size += 4;
    return size;
  }
};

struct UTF16Codec {
  static constexpr std::uint32_t kId = kUTF16EncodingId;
  static constexpr const char* kName = "UTF-16";
  static constexpr std::int32_t kStep = 2;
  static std::int32_t maxCharSize() { return 4; }
  static std::int32_t encodedSize(CodePoint c) {
    if (c < 0x10000) return compat::win32::IsSurrogate(c) ? 0 : 2;
    return c <= 0x10FFFF ? 4 : 0;
  }
  static std::int32_t encode(CodePoint c, std::uint8_t* buffer, std::int32_t size, std::int32_t offset) {
    const std::int32_t needed = encodedSize(c);
    if (needed == 0 || size - offset < needed) return offset;
    if (needed == 2) {
      Store16(buffer + offset, c);
    } else {
      Store16(buffer + offset, compat::win32::HighSurrogateOf(c));
      Store16(buffer + offset + 2, compat::win32::LowSurrogateOf(c));
    }
    return offset + needed;
  }
  static std::int32_t decodeAt(CodePoint& c, const std::uint8_t* buffer, std::int32_t size,
                               std::int32_t offset) {
    if (size - offset < 2) return -1;
    const std::uint32_t unit = Load16(buffer + offset);
    if (!compat::win32::IsSurrogate(unit)) {
      c = unit;
      return offset + 2;
    }
    if (!compat::win32::IsHighSurrogate(unit) || size - offset < 4) return -1;
    const std::uint32_t low = Load16(buffer + offset + 2);
    if (!compat::win32::IsLowSurrogate(low)) return -1;
    c = compat::win32::JoinSurrogates(unit, low);
    return offset + 4;
  }
  // Decodes the run of single units (outside the surrogate range) that starts
  // at `offset`, up to `maxCount` characters; moves `offset` behind it.
  template <bool kWithStarts>
  static std::int32_t decodeRun(CodePoint* chars, std::int32_t* starts, std::int32_t maxCount,
                                const std::uint8_t* buffer, std::int32_t size, std::int32_t& offset) {
    const std::int32_t room = std::min(maxCount, (size - offset) / 2);
    std::int32_t run = 0;
#if defined(__SSE2__)
    // Eight units at a time while none of them is a surrogate.
    const __m128i zero = _mm_setzero_si128();
    for (; room - run >= 8; run += 8) {
      const __m128i units = Load16Bytes(buffer + offset + 2 * run);
      const __m128i surrogates = _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xF800))),
                                                 _mm_set1_epi16(static_cast<short>(0xD800)));
      if (ByteMask(surrogates) != 0) break;
      auto* to = reinterpret_cast<__m128i*>(chars + run);
      _mm_storeu_si128(to, _mm_unpacklo_epi16(units, zero));
      _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(units, zero));
      if constexpr (kWithStarts) {
        for (std::int32_t i = 0; i < 8; ++i) starts[run + i] = offset + 2 * (run + i);
      }
    }
#endif
    for (; run < room; ++run) {
      const std::uint32_t unit = Load16(buffer + offset + 2 * run);
      if (compat::win32::IsSurrogate(unit)) break;
      if constexpr (kWithStarts) starts[run] = offset + 2 * run;
      chars[run] = unit;
    }
    offset += 2 * run;
    return run;
  }
  // Eight units a step while none of them is a surrogate, one character at
  // a time otherwise; an invalid unit is passed over uncounted.
  static std::int32_t countChars(const std::uint8_t* buffer, std::int32_t size, std::int32_t offset) {
    std::int32_t count = 0;
    while (offset < size) {
#if defined(__SSE2__)
      if (size - offset >= 16) {
        const __m128i units = Load16Bytes(buffer + offset);
        const __m128i surrogates = _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xF800))),
                                                   _mm_set1_epi16(static_cast<short>(0xD800)));
        if (ByteMask(surrogates) == 0) {
          count += 8;
          offset += 16;
          continue;
        }
      }
#endif
      CodePoint c;
      const std::int32_t end = decodeAt(c, buffer, size, offset);
      offset = end < 0 ? offset + kStep : end;
      if (end >= 0) ++count;
    }
    return count;
  }
  // A lone high surrogate before `offset` is taken as a character of its own.
  static std::int32_t decodeBefore(CodePoint& c, const std::uint8_t* buffer, std::int32_t offset) {
    if (offset < 2) return -1;
    const std::uint32_t unit = Load16(buffer + offset - 2);
    if (!compat::win32::IsLowSurrogate(unit)) {
      c = unit;
      return offset - 2;
    }
    if (offset < 4) return -1;
    const std::uint32_t high = Load16(buffer + offset - 4);
    if (!compat::win32::IsHighSurrogate(high)) return -1;
    c = compat::win32::JoinSurrogates(high, unit);
    return offset - 4;
  }
  static std::int32_t terminatedSize(const std::uint8_t* text) {
    std::int32_t size = 0;
    while (Load16(text + size) != 0) size += 2;
    return size;
  }
};

struct UTF8Codec {
  static constexpr std::uint32_t kId = kUTF8EncodingId;
  static constexpr const char* kName = "UTF-8";
  static constexpr std::int32_t kStep = 1;
  static bool isContinuation(std::uint32_t byte) { return (byte & 0xC0) == 0x80; }
  static std::int32_t maxCharSize() { return 4; }
  static std::int32_t encodedSize(CodePoint c) { return static_cast<std::int32_t>(compat::win32::Utf8Size(c)); }
  // Surrogate code points are written like any other.
  static std::int32_t encode(CodePoint c, std::uint8_t* buffer, std::int32_t size, std::int32_t offset) {
    const std::int32_t needed = encodedSize(c);
    if (needed == 0 || size - offset < needed) return offset;
    compat::win32::EncodeUtf8(c, reinterpret_cast<char*>(buffer + offset));
    return offset + needed;
  }
  // The library's strings read the two-byte forms led by C1 (C1 xx decodes
  // to 0x40..0x7F) and surrogate code points; other overlong forms and
  // values above 0x10FFFF are refused.
  static std::int32_t decodeAt(CodePoint& c, const std::uint8_t* buffer, std::int32_t size,
                               std::int32_t offset) {
    return compat::win32::DecodeUtf8At(c, buffer, size, offset);
  }
  // Blocks and counts through compat's block decoder, on the fastest path
  // the processor runs.
  template <bool kWithStarts>
  static std::int32_t decodeBlock(CodePoint* chars, std::int32_t maxCount, std::int32_t& count,
                                  const std::uint8_t* buffer, std::int32_t size, std::int32_t offset,
                                  std::int32_t* starts) {
    return compat::win32::DecodeUtf8Chars<kWithStarts>(chars, maxCount, count, buffer, size, offset, starts);
  }
  static std::int32_t countChars(const std::uint8_t* buffer, std::int32_t size, std::int32_t offset) {
    return compat::win32::CountUtf8Chars<compat::win32::Utf8VectorPath>(buffer, size, offset);
  }
  // Steps back over continuation bytes to the nearest ASCII or lead byte and
  // decodes from there; the character must end exactly at `offset`.
  static std::int32_t decodeBefore(CodePoint& c, const std::uint8_t* buffer, std::int32_t offset) {
    std::int32_t start = offset - 1;
    // A character is at most four bytes long: a start further back cannot
    // end at `offset`.
    const std::int32_t limit = offset - 4;
    while (start >= 0 && start >= limit && isContinuation(buffer[start])) --start;
    if (start < 0 || start < limit) return -1;
    return decodeAt(c, buffer, offset, start) == offset ? start : -1;
  }
  static std::int32_t terminatedSize(const std::uint8_t* text) { return Latin1Codec::terminatedSize(text); }
};

// The process's multibyte code page through the C library's conversions of
// the calling thread's locale. Characters are limited to 16 bits, like the
// wide characters of the runtime this code page model comes from: a
// sequence that converts to a larger value counts as invalid.
struct CodePageCodec {
  static constexpr std::uint32_t kId = kCodePageEncodingId;
  static constexpr const char* kName = "CodePage";
  static constexpr std::int32_t kStep = 1;
  static std::int32_t maxCharSize() { return static_cast<std::int32_t>(MB_CUR_MAX); }
  static std::int32_t encodedSize(CodePoint c) {
    if (c > 0xFFFF) return 0;
    char scratch[MB_LEN_MAX];
    std::mbstate_t state{};
    const std::size_t written = std::wcrtomb(scratch, static_cast<wchar_t>(c), &state);
    return written == static_cast<std::size_t>(-1) ? 0 : static_cast<std::int32_t>(written);
  }
  static std::int32_t encode(CodePoint c, std::uint8_t* buffer, std::int32_t size, std::int32_t offset) {
    if (c > 0xFFFF) return offset;
    const std::int32_t room = size - offset;
    if (room < maxCharSize()) {
      const std::int32_t needed = encodedSize(c);
      if (needed == 0 || needed > room) return offset;
    }
    char scratch[MB_LEN_MAX];
    std::mbstate_t state{};
    const std::size_t written = std::wcrtomb(scratch, static_cast<wchar_t>(c), &state);
    if (written == static_cast<std::size_t>(-1) || static_cast<std::int32_t>(written) > room) return offset;
    std::memcpy(buffer + offset, scratch, written);
    return offset + static_cast<std::int32_t>(written);
  }
  static std::int32_t decodeAt(CodePoint& c, const std::uint8_t* buffer, std::int32_t size,
                               std::int32_t offset) {
    const std::int32_t left = size - offset;
    if (left < 1) return -1;
    wchar_t wide = 0;
    std::mbstate_t state{};
    const std::size_t read = std::mbrtowc(&wide, reinterpret_cast<const char*>(buffer + offset),
                                          static_cast<std::size_t>(left), &state);
    if (read == static_cast<std::size_t>(-1) || read == static_cast<std::size_t>(-2)) return -1;
    if (read == 0) {
      // NUL takes as many bytes as the code page writes for it.
      const std::int32_t nulSize = std::max(encodedSize(0), 1);
      if (left < nulSize) return -1;
      c = 0;
      return offset + nulSize;
    }
    if (static_cast<std::uint32_t>(wide) > 0xFFFF) return -1;
    c = static_cast<CodePoint>(wide);
    return offset + static_cast<std::int32_t>(read);
  }
  static std::int32_t terminatedSize(const std::uint8_t* text) { return Latin1Codec::terminatedSize(text); }
};

template <class Codec>
class TCharEncoding : public CObject, public ICharEncoding {
 public:
  static constexpr bool kBackwards = !std::is_same_v<Codec, CodePageCodec>;

  std::uint32_t getId() const override { return Codec::kId; }
  const char* getName() const override { return Codec::kName; }
  std::int32_t getMaxCharSize() const override { return Codec::maxCharSize(); }

  std::int32_t encodeChar(CodePoint c, std::uint8_t* buffer, std::int32_t size,
                          std::int32_t offset) const override {
    if (offset < 0 || offset > size) return offset;
    return Codec::encode(c, buffer, size, offset);
  }

  std::int32_t getEncodedSize(CodePoint c) const override { return Codec::encodedSize(c); }

  std::int32_t getCharSizeAt(const std::uint8_t* buffer, std::int32_t size,
                             std::int32_t offset) const override {
    CodePoint c;
    const std::int32_t end = strictAt(c, buffer, size, offset);
    return end < 0 ? -1 : end - offset;
  }

  std::int32_t countChars(const std::uint8_t* buffer, std::int32_t size,
                          std::int32_t offset) const override {
    if (offset < 0 || offset >= size) return 0;
    if constexpr (std::is_same_v<Codec, Latin1Codec>) {
      return size - offset;
    } else if constexpr (std::is_same_v<Codec, UTF32Codec>) {
      return (size - offset) / 4;
    } else if constexpr (requires { Codec::countChars; }) {
      return Codec::countChars(buffer, size, offset);
    } else {
      std::int32_t count = 0;
      while (offset < size) {
        CodePoint c;
        const std::int32_t end = Codec::decodeAt(c, buffer, size, offset);
        if (end < 0) {
          offset += Codec::kStep;
        } else {
          offset = end;
          ++count;
        }
      }
      return count;
    }
  }

  std::int32_t getTerminatedSize(const std::uint8_t* text) const override {
    return Codec::terminatedSize(text);
  }

  std::int32_t getCharOffset(const std::uint8_t* buffer, std::int32_t size,
                             std::int32_t index) const override {
    if (index < 0) return -1;
    if constexpr (std::is_same_v<Codec, Latin1Codec>) {
      return index <= size ? index : -1;
    } else if constexpr (std::is_same_v<Codec, UTF32Codec>) {
      return index <= size / 4 ? index * 4 : -1;
    } else {
      std::int32_t offset = 0;
      for (std::int32_t walked = 0; walked < index; ++walked) {
        CodePoint c;
        std::int32_t start;
        offset = next(c, buffer, size, offset, start);
        if (offset < 0) return -1;
      }
      return offset;
    }
  }

  std::int32_t findCharStart(const std::uint8_t* buffer, std::int32_t size,
                             std::int32_t offset) const override {
    CodePoint c;
    std::int32_t start;
    return next(c, buffer, size, offset, start) < 0 ? -1 : start;
  }

  std::int32_t decodeCharAt(CodePoint& c, const std::uint8_t* buffer, std::int32_t size,
                            std::int32_t offset) const override {
    return strictAt(c, buffer, size, offset);
  }

  std::int32_t decodeNextChar(CodePoint& c, const std::uint8_t* buffer, std::int32_t size,
                              std::int32_t offset) const override {
    std::int32_t start;
    return next(c, buffer, size, offset, start);
  }

  bool canDecodeBackwards() const override { return kBackwards; }

  std::int32_t findPreviousCharStart(const std::uint8_t* buffer, std::int32_t size,
                                     std::int32_t offset) const override {
    requireBackwards("findPreviousCharStart");
    CodePoint c;
    return previous(c, buffer, size, offset);
  }

  std::int32_t decodePreviousCharAt(CodePoint& c, const std::uint8_t* buffer, std::int32_t size,
                                    std::int32_t offset) const override {
    requireBackwards("decodePreviousCharAt");
    if constexpr (kBackwards) {
      if (offset < 0 || offset > size) return -1;
      return Codec::decodeBefore(c, buffer, offset);
    } else {
      return -1;
    }
  }

  std::int32_t decodePreviousChar(CodePoint& c, const std::uint8_t* buffer, std::int32_t size,
                                  std::int32_t offset) const override {
    requireBackwards("decodePreviousChar");
    return previous(c, buffer, size, offset);
  }

  std::int32_t decodeChars(CodePoint* chars, std::int32_t maxCount, std::int32_t& count,
                           const std::uint8_t* buffer, std::int32_t size, std::int32_t offset,
                           std::int32_t* starts) const override {
    return starts ? decodeBlock<true>(chars, maxCount, count, buffer, size, offset, starts)
                  : decodeBlock<false>(chars, maxCount, count, buffer, size, offset, nullptr);
  }

  std::int32_t decodeCharsBackwards(CodePoint* chars, std::int32_t maxCount, std::int32_t& count,
                                    const std::uint8_t* buffer, std::int32_t size,
                                    std::int32_t offset, std::int32_t* starts) const override {
    requireBackwards("decodeCharsBackwards");
    count = 0;
    while (count < maxCount) {
      const std::int32_t start = previous(chars[count], buffer, size, offset);
      if (start < 0) break;
      if (starts) starts[count] = start;
      ++count;
      offset = start;
    }
    return offset;
  }

 private:
  static std::int32_t strictAt(CodePoint& c, const std::uint8_t* buffer, std::int32_t size,
                               std::int32_t offset) {
    if (offset < 0) return -1;
    return Codec::decodeAt(c, buffer, size, offset);
  }

  // decodeChars as one tight loop: runs of simple characters through the
  // codec's decodeRun where it has one, the rest through the strict decoder,
  // invalid starts skipped as decodeNextChar skips them.
  template <bool kWithStarts>
  static std::int32_t decodeBlock(CodePoint* chars, std::int32_t maxCount, std::int32_t& count,
                                  const std::uint8_t* buffer, std::int32_t size, std::int32_t offset,
                                  std::int32_t* starts) {
    if constexpr (requires { Codec::template decodeBlock<kWithStarts>; }) {
      if (offset >= 0) return Codec::template decodeBlock<kWithStarts>(chars, maxCount, count, buffer, size, offset, starts);
      count = 0;
      return offset;
    }
    std::int32_t decoded = 0;
    std::int32_t end = offset;
    if (offset >= 0) {
      while (decoded < maxCount && offset < size) {
        if constexpr (requires { Codec::template decodeRun<kWithStarts>; }) {
          const std::int32_t run =
              Codec::template decodeRun<kWithStarts>(chars + decoded, kWithStarts ? starts + decoded : nullptr,
                                                     maxCount - decoded,
                                                     buffer, size, offset);
          if (run > 0) {
            decoded += run;
            end = offset;
            continue;
          }
        }
        CodePoint c;
        const std::int32_t behind = Codec::decodeAt(c, buffer, size, offset);
        if (behind < 0) {
          offset += Codec::kStep;
          continue;
        }
        if constexpr (kWithStarts) starts[decoded] = offset;
        chars[decoded++] = c;
        offset = end = behind;
      }
    }
    count = decoded;
    return end;
  }

  // Lenient forwards: the first character that decodes strictly at or after
  // `offset`, moving Codec::kStep bytes past each start that does not.
  static std::int32_t next(CodePoint& c, const std::uint8_t* buffer, std::int32_t size,
                           std::int32_t offset, std::int32_t& start) {
    if (offset < 0) return -1;
    for (; offset < size; offset += Codec::kStep) {
      const std::int32_t end = Codec::decodeAt(c, buffer, size, offset);
      if (end >= 0) {
        start = offset;
        return end;
      }
    }
    return -1;
  }

  // Lenient backwards: moving back Codec::kStep bytes at a time, the first
  // start from which a character decodes strictly within `offset`.
  static std::int32_t previous(CodePoint& c, const std::uint8_t* buffer, std::int32_t size,
                               std::int32_t offset) {
    if (offset < 0 || offset > size) return -1;
    for (std::int32_t start = offset - Codec::kStep; start >= 0; start -= Codec::kStep) {
      if (Codec::decodeAt(c, buffer, offset, start) >= 0) return start;
    }
    return -1;
  }

  void requireBackwards(const char* method) const {
    if constexpr (!kBackwards) {
      throw CMethodNotImplementedError(const_cast<TCharEncoding*>(this), nullptr, String(method));
    }
  }


 protected:
  ~TCharEncoding() override = default;
};

}  // namespace

// Named classes, so that descriptions and error texts show which encoding
// they are about ("class lumo::CUTF8CharEncoding object").
class CLatin1CharEncoding final : public TCharEncoding<Latin1Codec> {};
class CUTF8CharEncoding final : public TCharEncoding<UTF8Codec> {};
class CUTF16CharEncoding final : public TCharEncoding<UTF16Codec> {};
class CUTF32CharEncoding final : public TCharEncoding<UTF32Codec> {};
class CCPCharEncoding final : public TCharEncoding<CodePageCodec> {};

namespace {
template <class Encoding>
P<ICharEncoding> MakeEncoding() {
  return make<Encoding>();
}
}  // namespace

const P<ICharEncoding>& GetLatin1CharEncoding() {
  return StaticSingleton<ICharEncoding, &MakeEncoding<CLatin1CharEncoding>>();
}
const P<ICharEncoding>& GetUTF8CharEncoding() {
  return StaticSingleton<ICharEncoding, &MakeEncoding<CUTF8CharEncoding>>();
}
const P<ICharEncoding>& GetUTF16CharEncoding() {
  return StaticSingleton<ICharEncoding, &MakeEncoding<CUTF16CharEncoding>>();
}
const P<ICharEncoding>& GetUTF32CharEncoding() {
  return StaticSingleton<ICharEncoding, &MakeEncoding<CUTF32CharEncoding>>();
}
const P<ICharEncoding>& GetCPCharEncoding() {
  return StaticSingleton<ICharEncoding, &MakeEncoding<CCPCharEncoding>>();
}

}  // namespace lumo
