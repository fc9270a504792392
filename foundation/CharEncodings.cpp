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

// UTF-8 text is checked and decoded a window at a time: the 16 bytes at a
// character boundary plus the three that the last character may reach into.
// ClassifyUTF8 sorts the window's bytes into bit masks, bit i for byte i:
// the first two cover all 19 bytes, the rest (only asked of lead bytes) the
// first 16. `refused` marks the bytes that the strict decoder refuses as
// lead bytes for their own value (C0, F5 to FF) or for the byte behind them
// (E0 and F0 before an overlong form, F4 before a value above 0x10FFFF).
struct UTF8Classes {
  std::uint32_t nonAscii, atLeastC0;
  std::uint32_t atLeastE0, atLeastF0, refused;
};
constexpr std::int32_t kUTF8WindowBytes = 19;
constexpr std::uint32_t kWindowStarts = 0xFFFF;
// Set bits of a 16-bit mask, without the library call that std::popcount
// becomes on baseline x86-64.
inline std::int32_t CountBits16(std::uint32_t mask) {
  mask -= mask >> 1 & 0x5555;
  mask = (mask & 0x3333) + (mask >> 2 & 0x3333);
  mask = (mask + (mask >> 4)) & 0x0F0F;
  return static_cast<std::int32_t>((mask + (mask >> 8)) & 0x1F);
}

#if defined(__SSE2__)
inline __m128i Load16Bytes(const std::uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
inline std::uint32_t ByteMask(__m128i bytes) { return static_cast<std::uint32_t>(_mm_movemask_epi8(bytes)); }
// All-ones in the bytes that are at least `bound` (unsigned) or equal to `value`.
inline __m128i AtLeastBytes(__m128i bytes, std::uint8_t bound) {
  return _mm_cmpeq_epi8(_mm_max_epu8(bytes, _mm_set1_epi8(static_cast<char>(bound))), bytes);
}
inline __m128i EqualBytes(__m128i bytes, std::uint8_t value) {
  return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(static_cast<char>(value)));
}
inline std::uint32_t AtLeast(__m128i bytes, std::uint8_t bound) { return ByteMask(AtLeastBytes(bytes, bound)); }
inline bool SixteenAscii(const std::uint8_t* in) { return ByteMask(Load16Bytes(in)) == 0; }
inline UTF8Classes ClassifyUTF8(const std::uint8_t* in) {
  const __m128i head = Load16Bytes(in);
  const __m128i second = Load16Bytes(in + 1);
  // Bytes 3 to 18: their top three are the window's bytes 16 to 18.
  const __m128i tail = Load16Bytes(in + 3);
  const auto whole = [](std::uint32_t head16, std::uint32_t tail16) { return head16 | (tail16 >> 13) << 16; };
  const __m128i secondAtLeast90 = AtLeastBytes(second, 0x90);
  const __m128i refused = _mm_or_si128(
      _mm_or_si128(EqualBytes(head, 0xC0), AtLeastBytes(head, 0xF5)),
      _mm_or_si128(_mm_andnot_si128(AtLeastBytes(second, 0xA0), EqualBytes(head, 0xE0)),
                   _mm_or_si128(_mm_andnot_si128(secondAtLeast90, EqualBytes(head, 0xF0)),
                                _mm_and_si128(secondAtLeast90, EqualBytes(head, 0xF4)))));
  return {whole(ByteMask(head), ByteMask(tail)), whole(AtLeast(head, 0xC0), AtLeast(tail, 0xC0)),
          AtLeast(head, 0xE0), AtLeast(head, 0xF0), ByteMask(refused)};
}
// Widens 16 ASCII bytes to code points.
inline void WidenSixteen(const std::uint8_t* in, CodePoint* out) {
  const __m128i bytes = Load16Bytes(in);
  const __m128i zero = _mm_setzero_si128();
  const __m128i low = _mm_unpacklo_epi8(bytes, zero);
  const __m128i high = _mm_unpackhi_epi8(bytes, zero);
  auto* to = reinterpret_cast<__m128i*>(out);
  _mm_storeu_si128(to, _mm_unpacklo_epi16(low, zero));
  _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(low, zero));
  _mm_storeu_si128(to + 2, _mm_unpacklo_epi16(high, zero));
  _mm_storeu_si128(to + 3, _mm_unpackhi_epi16(high, zero));
}
inline __m128i Select(__m128i mask, __m128i ifSet, __m128i ifClear) {
  return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
}
// The code point of the character that would start at each of the window's
// first 16 bytes, right where the window's scan found a valid start. Each
// position takes the payload of its own byte and, as far as that byte is a
// lead byte asking for them, the payloads of the bytes behind it.
inline void DecodeUTF8Window(const std::uint8_t* in, CodePoint* out) {
  const __m128i b0 = Load16Bytes(in);
  const __m128i payload = _mm_set1_epi8(0x3F);
  const __m128i zero = _mm_setzero_si128();
  const __m128i two = AtLeastBytes(b0, 0xC0), three = AtLeastBytes(b0, 0xE0), four = AtLeastBytes(b0, 0xF0);
  // The lead byte keeps 7, 5, 4 or 3 payload bits.
  const __m128i cut = _mm_or_si128(_mm_and_si128(two, _mm_set1_epi8(0x60)),
                                   _mm_or_si128(_mm_and_si128(three, _mm_set1_epi8(0x10)),
                                                _mm_and_si128(four, _mm_set1_epi8(0x08))));
  const __m128i lead = _mm_andnot_si128(cut, _mm_and_si128(b0, _mm_set1_epi8(0x7F)));
  const __m128i b1 = _mm_and_si128(Load16Bytes(in + 1), payload);
  const __m128i b2 = _mm_and_si128(Load16Bytes(in + 2), payload);
  const __m128i b3 = _mm_and_si128(Load16Bytes(in + 3), payload);
  auto* to = reinterpret_cast<__m128i*>(out);
  // Four-byte characters are rare: without them the values are 16-bit.
  const bool anyFour = ByteMask(four) != 0;
  for (int half = 0; half < 2; ++half) {
    const auto widen = [half, &zero](__m128i bytes) {
      return half == 0 ? _mm_unpacklo_epi8(bytes, zero) : _mm_unpackhi_epi8(bytes, zero);
    };
    const auto spread = [half](__m128i mask) {
      return half == 0 ? _mm_unpacklo_epi8(mask, mask) : _mm_unpackhi_epi8(mask, mask);
    };
    // Up to three bytes the value fits 16 bits.
    __m128i value = widen(lead);
    value = Select(spread(two), _mm_or_si128(_mm_slli_epi16(value, 6), widen(b1)), value);
    value = Select(spread(three), _mm_or_si128(_mm_slli_epi16(value, 6), widen(b2)), value);
    if (!anyFour) {
      _mm_storeu_si128(to + 2 * half, _mm_unpacklo_epi16(value, zero));
      _mm_storeu_si128(to + 2 * half + 1, _mm_unpackhi_epi16(value, zero));
      continue;
    }
    const __m128i fourth = widen(b3);
    const __m128i fours = spread(four);
    for (int quarter = 0; quarter < 2; ++quarter) {
      const auto wider = [quarter, &zero](__m128i units) {
        return quarter == 0 ? _mm_unpacklo_epi16(units, zero) : _mm_unpackhi_epi16(units, zero);
      };
      const __m128i mask = quarter == 0 ? _mm_unpacklo_epi16(fours, fours) : _mm_unpackhi_epi16(fours, fours);
      const __m128i wide = wider(value);
      _mm_storeu_si128(to + 2 * half + quarter,
                       Select(mask, _mm_or_si128(_mm_slli_epi32(wide, 6), wider(fourth)), wide));
    }
  }
}
#else
// The same masks a byte at a time, for targets without SSE2.
inline bool SixteenAscii(const std::uint8_t* in) {
  std::uint64_t words[2];
  std::memcpy(words, in, sizeof words);
  return ((words[0] | words[1]) & 0x8080808080808080ull) == 0;
}
inline UTF8Classes ClassifyUTF8(const std::uint8_t* in) {
  UTF8Classes k{};
  for (std::int32_t i = 0; i < kUTF8WindowBytes; ++i) {
    const std::uint32_t byte = in[i];
    const std::uint32_t bit = 1u << i;
    k.nonAscii |= byte >= 0x80 ? bit : 0;
    k.atLeastC0 |= byte >= 0xC0 ? bit : 0;
    if (i >= 16) continue;
    const std::uint32_t next = in[i + 1];
    k.atLeastE0 |= byte >= 0xE0 ? bit : 0;
    k.atLeastF0 |= byte >= 0xF0 ? bit : 0;
    const bool refused = byte == 0xC0 || byte >= 0xF5 || (byte == 0xE0 && next < 0xA0) ||
                         (byte == 0xF0 && next < 0x90) || (byte == 0xF4 && next >= 0x90);
    k.refused |= refused ? bit : 0;
  }
  return k;
}
inline void WidenSixteen(const std::uint8_t* in, CodePoint* out) {
  for (std::int32_t i = 0; i < 16; ++i) out[i] = in[i];
}
// Without branches, so that mixing ASCII and longer characters costs no
// mispredictions: the four bytes are assembled as if for a four-byte
// character and shifted back by what the lead byte says.
inline void DecodeUTF8Window(const std::uint8_t* in, CodePoint* out) {
  struct Form {
    std::uint8_t leadBits, shift;
  };
  // By the lead byte's top five bits: 0xxxx, 10xxx (no lead), 110xx, 1110x, 11110.
  static constexpr Form kForms[32] = {
      {0x7F, 18}, {0x7F, 18}, {0x7F, 18}, {0x7F, 18}, {0x7F, 18}, {0x7F, 18}, {0x7F, 18}, {0x7F, 18},
      {0x7F, 18}, {0x7F, 18}, {0x7F, 18}, {0x7F, 18}, {0x7F, 18}, {0x7F, 18}, {0x7F, 18}, {0x7F, 18},
      {0, 0},     {0, 0},     {0, 0},     {0, 0},     {0, 0},     {0, 0},     {0, 0},     {0, 0},
      {0x1F, 12}, {0x1F, 12}, {0x1F, 12}, {0x1F, 12}, {0x0F, 6},  {0x0F, 6},  {0x07, 0},  {0, 0}};
  for (std::int32_t i = 0; i < 16; ++i) {
    const std::uint32_t lead = in[i];
    const Form form = kForms[lead >> 3];
    out[i] = ((lead & form.leadBits) << 18 | (in[i + 1] & 0x3Fu) << 12 | (in[i + 2] & 0x3Fu) << 6 |
              (in[i + 3] & 0x3Fu)) >> form.shift;
  }
}
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
    if (size - offset < 1) return -1;
    std::size_t used;
    const char32_t value = compat::win32::DecodeUtf8(buffer + offset, static_cast<std::size_t>(size - offset), used, compat::win32::kUtf8StringForms);
    if (value == compat::win32::kNotUtf8) return -1;
    c = value;
    return offset + static_cast<std::int32_t>(used);
  }
  // Checks the window at `in` whose first bytes (the bits of `carried`)
  // continue the character before it. Valid when every character starting in
  // the window decodes strictly: the continuation bytes are exactly those the
  // lead bytes ask for and the lead bytes pass decodeAt's range checks.
  // `starts` has bit i set where a character starts at in[i]; `spill` has
  // the bits of the last character's bytes behind the window (0, 1, 3 or 7),
  // the next window's `carried`.
  struct Window {
    bool valid;
    std::uint32_t starts;
    std::uint32_t spill;
  };
  static Window scanWindow(const std::uint8_t* in, std::uint32_t carried) {
    if (carried == 0 && SixteenAscii(in)) return {true, kWindowStarts, 0};
    const UTF8Classes k = ClassifyUTF8(in);
    const std::uint32_t continuation = k.nonAscii & ~k.atLeastC0;
    const std::uint32_t expected =
        carried | (k.atLeastC0 & kWindowStarts) << 1 | k.atLeastE0 << 2 | k.atLeastF0 << 3;
    // Within the 16 bytes the continuation bytes must be exactly the
    // expected ones; behind them only the expected ones are looked at.
    const bool valid = k.refused == 0 && expected == (continuation & (kWindowStarts | expected));
    return {valid, ~continuation & kWindowStarts, expected >> 16};
  }
  // Lenient block decoding: whole windows where they are valid, single
  // strict steps elsewhere. A window found invalid is stepped through before
  // the next window is tried, so that broken text is not scanned again at
  // every byte.
  template <bool kWithStarts>
  static std::int32_t decodeBlock(CodePoint* chars, std::int32_t* starts, std::int32_t maxCount,
                                  const std::uint8_t* buffer, std::int32_t size, std::int32_t offset,
                                  std::int32_t& end) {
    std::int32_t decoded = 0;
    std::int32_t stepUntil = offset;
    end = offset;
    while (decoded < maxCount && offset < size) {
      if (offset >= stepUntil && size - offset >= kUTF8WindowBytes) {
        const std::uint8_t* in = buffer + offset;
        const Window window = scanWindow(in, 0);
        if (window.valid) {
          if (window.starts == kWindowStarts && window.spill == 0 && maxCount - decoded >= 16) {
            WidenSixteen(in, chars + decoded);
            if constexpr (kWithStarts) {
              for (std::int32_t i = 0; i < 16; ++i) starts[decoded + i] = offset + i;
            }
            decoded += 16;
            offset = end = offset + 16;
            continue;
          }
          CodePoint values[16];
          DecodeUTF8Window(in, values);
          std::uint32_t left = window.starts;
          const std::int32_t take = std::min(CountBits16(left), maxCount - decoded);
          for (std::int32_t i = 0; i < take; ++i, left &= left - 1) {
            const std::int32_t at = std::countr_zero(left);
            chars[decoded + i] = values[at];
            if constexpr (kWithStarts) starts[decoded + i] = offset + at;
          }
          decoded += take;
          offset = end = offset + (left != 0 ? std::countr_zero(left) : 16 + std::countr_one(window.spill));
          continue;
        }
        stepUntil = offset + 16;
      }
      CodePoint c;
      const std::int32_t behind = decodeAt(c, buffer, size, offset);
      if (behind < 0) {
        ++offset;
        continue;
      }
      if constexpr (kWithStarts) starts[decoded] = offset;
      chars[decoded++] = c;
      offset = end = behind;
    }
    return decoded;
  }
  // Counting walks the same way as decodeBlock, but window after window at
  // fixed steps while they are valid, each one's spill carried into the next,
  // so that no window waits for the previous one's result.
  static std::int32_t countChars(const std::uint8_t* buffer, std::int32_t size, std::int32_t offset) {
    std::int32_t count = 0;
    std::int32_t stepUntil = offset;
    while (offset < size) {
      if (offset >= stepUntil && size - offset >= kUTF8WindowBytes) {
        std::uint32_t carried = 0;
        for (; size - offset >= kUTF8WindowBytes; offset += 16) {
          const Window window = scanWindow(buffer + offset, carried);
          if (!window.valid) break;
          count += CountBits16(window.starts);
          carried = window.spill;
        }
        offset += std::countr_one(carried);
        stepUntil = offset + 16;
        continue;
      }
      CodePoint c;
      const std::int32_t behind = decodeAt(c, buffer, size, offset);
      if (behind < 0) {
        ++offset;
      } else {
        offset = behind;
        ++count;
      }
    }
    return count;
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
    std::int32_t decoded = 0;
    std::int32_t end = offset;
    if constexpr (requires { Codec::template decodeBlock<kWithStarts>; }) {
      if (offset >= 0) {
        decoded = Codec::template decodeBlock<kWithStarts>(chars, starts, maxCount, buffer, size, offset, end);
      }
    } else if (offset >= 0) {
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
