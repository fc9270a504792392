// Block decoding of UTF-8 text: many characters per call, a 16-byte window
// at a time where the text is valid, one character at a time (DecodeUtf8)
// where it is not. Characters are read as the library's strings read them
// (kUtf8StringForms) and bytes no character starts at are skipped one by one,
// so a block holds exactly what single steps of DecodeUtf8 would give.
//
//   std::int32_t n;
//   std::int32_t end = compat::win32::DecodeUtf8Chars<false>(chars, 16, n, bytes, size, offset, nullptr);
//   // n characters, the last one ending at end
//   std::int32_t count = compat::win32::CountUtf8Chars<compat::win32::Utf8VectorPath>(bytes, size, 0);
//
// Paths share the walk: Utf8ScalarPath, plain C++; on x86-64 Utf8Sse2Path,
// the baseline, and Utf8Ssse3Path where the processor has SSSE3.
// DecodeUtf8Chars takes the fastest one (Utf8DecodePath names it). All give
// the same results; the tests hold them to it.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <tmmintrin.h>
// The C library's processor header is written in C and names its truth type
// `_Bool`, which g++ takes in C++ as well and clang++ does not.
#if defined(__clang__)
#define _Bool bool
#include <sys/platform/x86.h>
#undef _Bool
#else
#include <sys/platform/x86.h>
#endif
#endif

#include "compat/win32/Utf8.h"

namespace compat::win32 {

// A window is the 16 bytes at a character boundary plus the three that the
// last character may reach into. A path's classify sorts the window's bytes
// into bit masks, bit i for byte i: the first two cover all 19 bytes, the
// rest (only asked of lead bytes) the first 16. `refused` marks the bytes
// that DecodeUtf8 refuses as lead bytes for their own value (C0, F5 to FF) or
// for the byte behind them (E0 and F0 before an overlong form, F4 before a
// value above 0x10FFFF).
struct Utf8Classes {
  std::uint32_t nonAscii, atLeastC0;
  std::uint32_t atLeastE0, atLeastF0, refused;
};
inline constexpr std::int32_t kUtf8WindowBytes = 19;
inline constexpr std::uint32_t kUtf8WindowStarts = 0xFFFF;

// Set bits of a 16-bit mask, without the library call that std::popcount
// becomes on baseline x86-64.
inline std::int32_t CountBits16(std::uint32_t mask) {
  mask -= mask >> 1 & 0x5555;
  mask = (mask & 0x3333) + (mask >> 2 & 0x3333);
  mask = (mask + (mask >> 4)) & 0x0F0F;
  return static_cast<std::int32_t>((mask + (mask >> 8)) & 0x1F);
}

// The value of the character at each of a window's first 16 bytes, assuming
// a character starts there (meaningless elsewhere): out[i] for in[i].
// Without branches, so that mixing ASCII and longer characters costs no
// mispredictions: the four bytes are assembled as if for a four-byte
// character and shifted back by what the lead byte says.
inline void DecodeUtf8Positions(const std::uint8_t* in, std::uint32_t* out) {
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

// Copies the values at the set bits of `starts` (below 16), in order, to out.
inline std::int32_t TakeStarts(const std::uint32_t* values, std::uint32_t starts, std::uint32_t* out) {
  std::int32_t n = 0;
  for (; starts != 0; starts &= starts - 1) out[n++] = values[std::countr_zero(starts)];
  return n;
}

// The position of the k-th set bit (from 0) of each byte value, for k below
// its number of set bits.
struct NthBits {
  std::uint8_t at[256][8];
  std::uint8_t count[256];
};
inline constexpr NthBits kNthBits = [] {
  NthBits t{};
  for (int mask = 0; mask < 256; ++mask) {
    int n = 0;
    for (int bit = 0; bit < 8; ++bit) {
      if (mask >> bit & 1) t.at[mask][n++] = static_cast<std::uint8_t>(bit);
    }
    t.count[mask] = static_cast<std::uint8_t>(n);
  }
  return t;
}();

// The position of the k-th set bit of a 16-bit mask that has more than k.
// Without branches: which byte holds it is as good as random in text.
inline std::int32_t NthBit16(std::uint32_t mask, std::int32_t k) {
  const std::int32_t low = kNthBits.count[mask & 0xFF];
  const std::uint32_t high = k >= low ? 1 : 0;
  const std::int32_t skipped = low & -static_cast<std::int32_t>(high);
  return static_cast<std::int32_t>(8 * high) + kNthBits.at[mask >> (8 * high) & 0xFF][k - skipped];
}

// Plain C++, a byte at a time.
struct Utf8ScalarPath {
  static constexpr const char* kName = "scalar";
  // Whether the walk widens ASCII apart only in runs of 32 bytes and decodes
  // every other window whole, ASCII or not, so that mixed text does not
  // branch on which windows are ASCII (false: every ASCII window apart).
  static constexpr bool kAsciiRunsOnly = false;

  static bool sixteenAscii(const std::uint8_t* in) {
    std::uint64_t words[2];
    std::memcpy(words, in, sizeof words);
    return ((words[0] | words[1]) & 0x8080808080808080ull) == 0;
  }
  static Utf8Classes classify(const std::uint8_t* in) {
    Utf8Classes k{};
    for (std::int32_t i = 0; i < kUtf8WindowBytes; ++i) {
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
  // Widens 16 ASCII bytes to code points.
  static void widenSixteen(const std::uint8_t* in, std::uint32_t* out) {
    for (std::int32_t i = 0; i < 16; ++i) out[i] = in[i];
  }
  // The code points of the characters starting at the bits of `starts`, in
  // order, into out (room for 16); answers how many.
  static std::int32_t decodeStarts(const std::uint8_t* in, std::uint32_t starts, std::uint32_t* out) {
    std::uint32_t values[16];
    DecodeUtf8Positions(in, values);
    return TakeStarts(values, starts, out);
  }
};

#if defined(__SSE2__)
// SSE2, the baseline of x86-64: 16 bytes per instruction.
struct Utf8Sse2Path {
  static constexpr const char* kName = "SSE2";
  static constexpr bool kAsciiRunsOnly = false;

  static __m128i load(const std::uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
  static std::uint32_t byteMask(__m128i bytes) { return static_cast<std::uint32_t>(_mm_movemask_epi8(bytes)); }
  // All-ones in the bytes that are at least `bound` (unsigned) or equal to `value`.
  static __m128i atLeastBytes(__m128i bytes, std::uint8_t bound) {
    return _mm_cmpeq_epi8(_mm_max_epu8(bytes, _mm_set1_epi8(static_cast<char>(bound))), bytes);
  }
  static __m128i equalBytes(__m128i bytes, std::uint8_t value) {
    return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(static_cast<char>(value)));
  }
  static std::uint32_t atLeast(__m128i bytes, std::uint8_t bound) { return byteMask(atLeastBytes(bytes, bound)); }
  static __m128i select(__m128i mask, __m128i ifSet, __m128i ifClear) {
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
  }

  static bool sixteenAscii(const std::uint8_t* in) { return byteMask(load(in)) == 0; }
  // The bits of bytes from 0x80 on among 32, folded to 16.
  static std::uint32_t nonAsciiOf32(const std::uint8_t* in) { return byteMask(_mm_or_si128(load(in), load(in + 16))); }
  // The window's classes but `refused`, given (first 16 bytes, as `head`).
  static Utf8Classes classesOf(const std::uint8_t* in, __m128i head, std::uint32_t refused) {
    // Bytes 3 to 18: their top three are the window's bytes 16 to 18.
    const __m128i tail = load(in + 3);
    const auto whole = [](std::uint32_t head16, std::uint32_t tail16) { return head16 | (tail16 >> 13) << 16; };
    return {whole(byteMask(head), byteMask(tail)), whole(atLeast(head, 0xC0), atLeast(tail, 0xC0)),
            atLeast(head, 0xE0), atLeast(head, 0xF0), refused};
  }
  static Utf8Classes classify(const std::uint8_t* in) {
    const __m128i head = load(in);
    const __m128i second = load(in + 1);
    const __m128i secondAtLeast90 = atLeastBytes(second, 0x90);
    const __m128i refused = _mm_or_si128(
        _mm_or_si128(equalBytes(head, 0xC0), atLeastBytes(head, 0xF5)),
        _mm_or_si128(_mm_andnot_si128(atLeastBytes(second, 0xA0), equalBytes(head, 0xE0)),
                     _mm_or_si128(_mm_andnot_si128(secondAtLeast90, equalBytes(head, 0xF0)),
                                  _mm_and_si128(secondAtLeast90, equalBytes(head, 0xF4)))));
    return classesOf(in, head, byteMask(refused));
  }
  static void widenSixteen(const std::uint8_t* in, std::uint32_t* out) {
    const __m128i bytes = load(in);
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_unpacklo_epi8(bytes, zero);
    const __m128i high = _mm_unpackhi_epi8(bytes, zero);
    auto* to = reinterpret_cast<__m128i*>(out);
    _mm_storeu_si128(to, _mm_unpacklo_epi16(low, zero));
    _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(low, zero));
    _mm_storeu_si128(to + 2, _mm_unpacklo_epi16(high, zero));
    _mm_storeu_si128(to + 3, _mm_unpackhi_epi16(high, zero));
  }

  // Lane I of the 16-bit values (0 to 7 from low, 8 to 15 from high) goes to
  // out[n], and n moves on when a character starts there: every lane is
  // written, so the values never make a trip through memory and no branch
  // depends on the text. With kFour the lanes of `above` are bits 16 to 20.
  template <bool kFour, int... I>
  static std::int32_t compact(const __m128i (&low)[2], const __m128i (&above)[2], std::uint32_t starts,
                              std::uint32_t* out, std::integer_sequence<int, I...>) {
    std::int32_t n = 0;
    const auto lane = [](__m128i v, auto index) {
      return static_cast<std::uint32_t>(_mm_extract_epi16(v, decltype(index)::value));
    };
    ((out[n] = lane(low[I >> 3], std::integral_constant<int, I & 7>()) |
               (kFour ? lane(above[I >> 3], std::integral_constant<int, I & 7>()) << 16 : 0),
      n += static_cast<std::int32_t>(starts >> I & 1)),
     ...);
    return n;
  }

  // The 16-bit values of the characters that would start at each of the
  // window's first 16 bytes, in two halves of eight lanes; `above` holds bits
  // 16 to 20, and is only written when some lead byte asks for four bytes
  // (the answer).
  [[gnu::always_inline]] static bool decodeLanes(const std::uint8_t* in, __m128i (&low)[2], __m128i (&above)[2]) {
    const __m128i b0 = load(in);
    const __m128i payload = _mm_set1_epi8(0x3F);
    const __m128i zero = _mm_setzero_si128();
    const __m128i two = atLeastBytes(b0, 0xC0), three = atLeastBytes(b0, 0xE0), four = atLeastBytes(b0, 0xF0);
    // The lead byte keeps 7, 5, 4 or 3 payload bits.
    const __m128i cut = _mm_or_si128(_mm_and_si128(two, _mm_set1_epi8(0x60)),
                                     _mm_or_si128(_mm_and_si128(three, _mm_set1_epi8(0x10)),
                                                  _mm_and_si128(four, _mm_set1_epi8(0x08))));
    const __m128i lead = _mm_andnot_si128(cut, _mm_and_si128(b0, _mm_set1_epi8(0x7F)));
    const __m128i b1 = _mm_and_si128(load(in + 1), payload);
    const __m128i b2 = _mm_and_si128(load(in + 2), payload);
    // Four-byte characters are rare: only their windows pay for bits 16 to 20.
    const bool anyFour = byteMask(four) != 0;
    const __m128i b3 = anyFour ? _mm_and_si128(load(in + 3), payload) : zero;
#pragma GCC unroll 2
    for (int half = 0; half < 2; ++half) {
      const auto widen = [half, &zero](__m128i bytes) {
        return half == 0 ? _mm_unpacklo_epi8(bytes, zero) : _mm_unpackhi_epi8(bytes, zero);
      };
      const auto spread = [half](__m128i mask) {
        return half == 0 ? _mm_unpacklo_epi8(mask, mask) : _mm_unpackhi_epi8(mask, mask);
      };
      // Up to three bytes the value fits 16 bits.
      const __m128i first = widen(lead), second = widen(b1), third = widen(b2);
      __m128i value = select(spread(two), _mm_or_si128(_mm_slli_epi16(first, 6), second), first);
      value = select(spread(three), _mm_or_si128(_mm_slli_epi16(value, 6), third), value);
      low[half] = value;
      if (anyFour) {
        // Bits 0 to 15 from the last three bytes, 16 to 20 from the first two.
        const __m128i fours = spread(four);
        const __m128i under = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(second, 12), _mm_slli_epi16(third, 6)),
                                           widen(b3));
        low[half] = select(fours, under, value);
        above[half] = _mm_and_si128(fours, _mm_or_si128(_mm_slli_epi16(first, 2), _mm_srli_epi16(second, 4)));
      }
    }
    return anyFour;
  }

  static std::int32_t decodeStarts(const std::uint8_t* in, std::uint32_t starts, std::uint32_t* out) {
    __m128i low[2], above[2];
    return decodeLanes(in, low, above) ? compact<true>(low, above, starts, out, std::make_integer_sequence<int, 16>())
                                       : compact<false>(low, low, starts, out, std::make_integer_sequence<int, 16>());
  }
};

// SSSE3, taken when the processor has it: its byte shuffle gathers the
// values of the starts in two steps instead of sixteen.
struct Utf8Ssse3Path : Utf8Sse2Path {
  static constexpr const char* kName = "SSSE3";
  static constexpr bool kAsciiRunsOnly = true;

  // The refused lead bytes by three lookups instead of chains of compares:
  // each refusal is a bit that the lead byte's high half, its low half and
  // the high half of the byte behind it must all carry.
  //   1: C0   2: F5 to FF   4: E0 before 80..9F   8: F0 before 80..8F
  //   16: F4 before 90..BF
  // (The byte behind a lead byte only matters for 4, 8 and 16: for 1 and 2
  // every value of it carries the bit.)
  [[gnu::target("ssse3")]] static __m128i lookup(const std::uint8_t (&table)[16], __m128i index) {
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table)), index);
  }
  [[gnu::target("ssse3")]] static Utf8Classes classify(const std::uint8_t* in) {
    const __m128i head = load(in);
    const __m128i second = load(in + 1);
    const __m128i nibble = _mm_set1_epi8(0x0F);
    static constexpr std::uint8_t kByHigh[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 4, 2 | 8 | 16};
    static constexpr std::uint8_t kByLow[16] = {1 | 4 | 8, 0, 0, 0, 16, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
    static constexpr std::uint8_t kBehind[16] = {15, 15, 15, 15, 15, 15, 15, 15, 15, 3 | 4 | 16,
                                                 3 | 16, 3 | 16, 3 | 16, 3 | 16, 3 | 16, 3 | 16};
    const __m128i refused = _mm_and_si128(
        _mm_and_si128(lookup(kByHigh, _mm_and_si128(_mm_srli_epi16(head, 4), nibble)),
                      lookup(kByLow, _mm_and_si128(head, nibble))),
        lookup(kBehind, _mm_and_si128(_mm_srli_epi16(second, 4), nibble)));
    return classesOf(in, head, ~byteMask(_mm_cmpeq_epi8(refused, _mm_setzero_si128())) & kUtf8WindowStarts);
  }

  // For each mask of eight lanes, the bytes of the set lanes' 16-bit values
  // in order, then zeros (0x80).
  struct Gather {
    std::uint8_t bytes[256][16];
  };
  static constexpr Gather kGather = [] {
    Gather g{};
    for (int mask = 0; mask < 256; ++mask) {
      for (int k = 0; k < 16; ++k) {
        const int lane = kNthBits.at[mask][k / 2];
        g.bytes[mask][k] = k / 2 < kNthBits.count[mask] ? static_cast<std::uint8_t>(2 * lane + k % 2) : 0x80;
      }
    }
    return g;
  }();

  // Each value is assembled a byte at a time in all 16 lanes at once, before
  // any widening, and without branches: the low byte is the payload of the
  // character's last two bytes (6 bits and 2 of the one before), the high
  // byte the 8 payload bits before those, bits 16 to 20 the rest of a
  // four-byte character's. The last two bytes are the lead and the byte
  // behind it for two bytes, the two behind the lead for three, the last two
  // of four.
  [[gnu::target("ssse3")]] static std::int32_t decodeStarts(const std::uint8_t* in, std::uint32_t starts,
                                                             std::uint32_t* out) {
    const __m128i b0 = load(in), b1 = load(in + 1), b2 = load(in + 2), b3 = load(in + 3);
    const __m128i two = atLeastBytes(b0, 0xC0), three = atLeastBytes(b0, 0xE0), four = atLeastBytes(b0, 0xF0);
    const __m128i x = select(four, b2, select(three, b1, b0)), y = select(four, b3, select(three, b2, b1));
    // Shifts by 16-bit lanes, masked so that no bit crosses into another byte.
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i last = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(x, 6), _mm_set1_epi8(static_cast<char>(0xC0))),
                                      _mm_and_si128(y, _mm_set1_epi8(0x3F)));
    const __m128i lowBytes = select(two, last, b0);
    const __m128i before = _mm_and_si128(three, _mm_and_si128(select(four, b1, b0), nibble));
    const __m128i highBytes =
        _mm_and_si128(two, _mm_or_si128(_mm_slli_epi16(before, 4), _mm_and_si128(_mm_srli_epi16(x, 2), nibble)));
    const __m128i topBytes =
        _mm_and_si128(four, _mm_or_si128(_mm_slli_epi16(_mm_and_si128(b0, _mm_set1_epi8(0x07)), 2),
                                         _mm_and_si128(_mm_srli_epi16(b1, 4), _mm_set1_epi8(0x03))));
    const __m128i zero = _mm_setzero_si128();
    const __m128i low[2] = {_mm_unpacklo_epi8(lowBytes, highBytes), _mm_unpackhi_epi8(lowBytes, highBytes)};
    const __m128i above[2] = {_mm_unpacklo_epi8(topBytes, zero), _mm_unpackhi_epi8(topBytes, zero)};
    // The starts' values gathered from the eight 16-bit lanes of each half.
    std::int32_t n = 0;
#pragma GCC unroll 2
    for (int half = 0; half < 2; ++half) {
      const std::uint32_t mask = starts >> (8 * half) & 0xFF;
      const __m128i gather = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kGather.bytes[mask]));
      const __m128i values = _mm_shuffle_epi8(low[half], gather);
      const __m128i high = _mm_shuffle_epi8(above[half], gather);
      auto* to = reinterpret_cast<__m128i*>(out + n);
      _mm_storeu_si128(to, _mm_unpacklo_epi16(values, high));
      _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(values, high));
      n += kNthBits.count[mask];
    }
    return n;
  }
};

// Whether this processor runs the SSSE3 path, asked once at load time. The
// C library has probed the processor before the program starts; the
// compiler's own probe (__builtin_cpu_supports) would link a second one into
// the program, which runs its CPUID instructions again at every start.
inline const bool kUtf8HasSsse3 = CPU_FEATURE_ACTIVE(SSSE3);

// The path the windows' checks take: the same on every x86-64.
using Utf8VectorPath = Utf8Sse2Path;
#else
using Utf8VectorPath = Utf8ScalarPath;
#endif

// A window checked: valid when every character starting in it decodes: the
// continuation bytes are exactly those the lead bytes ask for and the lead
// bytes pass DecodeUtf8's range checks. Its first bytes (the bits of
// `carried`) continue the character before it. `starts` has bit i set where
// a character starts at in[i]; `spill` has the bits of the last character's
// bytes behind the window (0, 1, 3 or 7), the next window's `carried`.
struct Utf8Window {
  bool valid;
  std::uint32_t starts;
  std::uint32_t spill;
};

// With kAsciiFirst a window of 16 ASCII bytes answers before any other
// check; without, every window takes the same instructions.
template <class Path, bool kAsciiFirst = true>
[[gnu::always_inline]] inline Utf8Window ScanUtf8Window(const std::uint8_t* in, std::uint32_t carried) {
  if (kAsciiFirst && carried == 0 && Path::sixteenAscii(in)) return {true, kUtf8WindowStarts, 0};
  const Utf8Classes k = Path::classify(in);
  const std::uint32_t continuation = k.nonAscii & ~k.atLeastC0;
  const std::uint32_t expected =
      carried | (k.atLeastC0 & kUtf8WindowStarts) << 1 | k.atLeastE0 << 2 | k.atLeastF0 << 3;
  // Within the 16 bytes the continuation bytes must be exactly the
  // expected ones; behind them only the expected ones are looked at.
  const bool valid = k.refused == 0 && expected == (continuation & (kUtf8WindowStarts | expected));
  return {valid, ~continuation & kUtf8WindowStarts, expected >> 16};
}

// One character at `offset` as a single step reads it: the offset behind it,
// or -1 when none starts there.
inline std::int32_t DecodeUtf8At(std::uint32_t& c, const std::uint8_t* buffer, std::int32_t size,
                                 std::int32_t offset) {
  if (size - offset < 1) return -1;
  std::size_t used;
  const char32_t value = DecodeUtf8(buffer + offset, static_cast<std::size_t>(size - offset), used, kUtf8StringForms);
  if (value == kNotUtf8) return -1;
  c = value;
  return offset + static_cast<std::int32_t>(used);
}

// DecodeUtf8At kept out of the walks: single steps past ASCII are rare
// there, and inlined they would take registers from the windows.
[[gnu::noinline]] inline std::int32_t DecodeUtf8AtApart(std::uint32_t& c, const std::uint8_t* buffer, std::int32_t size,
                                                       std::int32_t offset) {
  return DecodeUtf8At(c, buffer, size, offset);
}

// Decodes up to maxCount characters from `offset` (0 <= offset <= size),
// skipping bytes no character starts at; with kWithStarts each one's offset
// goes to starts. Answers how many, with `end` behind the last one (offset
// when none). Whole windows where they are valid, single steps elsewhere: a
// window found invalid is stepped through before the next window is tried,
// so that broken text is not scanned again at every byte.
// Windows follow one another at fixed 16-byte steps, each one's spill
// carried into the next, so that no window waits for the one before it to
// find where it starts. A window writes 16 values: where fewer fit (and the
// block holds 16 or more), its values go into a scratch block behind the
// block's last characters and return as four whole stores, and the block
// ends where the first character left out starts. A reader's block of 16 is
// thus about one window and a part, with no single steps and their branches
// on the text (a window of mixed text holds about 13 characters).
template <class Path, bool kWithStarts>
[[gnu::always_inline]] inline std::int32_t DecodeUtf8Block(std::uint32_t* chars, std::int32_t* starts, std::int32_t maxCount,
                             const std::uint8_t* buffer, std::int32_t size, std::int32_t offset, std::int32_t& endOut) {
  std::int32_t decoded = 0;
  std::int32_t stepUntil = offset;
  // Kept local and written once: stores to chars could alias the caller's.
  std::int32_t end = offset;
  // The characters of a valid window (`found` at most `room` of them), by
  // the bits of the bytes they start at.
  const auto taken = [&](std::uint32_t windowStarts, std::int32_t at, std::int32_t found) {
    if constexpr (kWithStarts) {
      std::uint32_t left = windowStarts;
      for (std::int32_t i = 0; i < found; ++i, left &= left - 1) starts[decoded + i] = at + std::countr_zero(left);
    }
    decoded += found;
  };
  while (decoded < maxCount && offset < size) {
    if (offset >= stepUntil && size - offset >= kUtf8WindowBytes) {
      std::int32_t at = offset;
      std::uint32_t carried = 0;
      for (; size - at >= kUtf8WindowBytes && decoded < maxCount; at += 16) {
        const std::uint8_t* in = buffer + at;
        if constexpr (Path::kAsciiRunsOnly) {
          if (maxCount - decoded >= 16 && size - at >= 32 && (Path::nonAsciiOf32(in) | carried) == 0) {
            Path::widenSixteen(in, chars + decoded);
            taken(kUtf8WindowStarts, at, 16);
            offset = end = at + 16;
            continue;
          }
        }
        const Utf8Window window = ScanUtf8Window<Path, !Path::kAsciiRunsOnly>(in, carried);
        if (!window.valid) break;
        const std::int32_t room = maxCount - decoded;
        if (room >= 16) {
          if (!Path::kAsciiRunsOnly && window.starts == kUtf8WindowStarts && window.spill == 0) {
            Path::widenSixteen(in, chars + decoded);
            taken(window.starts, at, 16);
          } else {
            taken(window.starts, at, Path::decodeStarts(in, window.starts, chars + decoded));
          }
        } else {
          if (maxCount < 16) break;
          // The last 16 slots of chars, the first 16 - room of them written
          // already, the rest filled from the window's values.
          alignas(16) std::uint32_t block[32];
          std::uint32_t* last = chars + maxCount - 16;
          std::memcpy(block, last, 16 * sizeof(std::uint32_t));
          std::int32_t found;
          if (!Path::kAsciiRunsOnly && window.starts == kUtf8WindowStarts && window.spill == 0) {
            Path::widenSixteen(in, block + 16 - room);
            found = 16;
          } else {
            found = Path::decodeStarts(in, window.starts, block + 16 - room);
          }
          std::memcpy(last, block, 16 * sizeof(std::uint32_t));
          if (found > room) {
            // A valid window's characters follow one another: the first one
            // left out starts where the last one taken ends.
            taken(window.starts, at, room);
            endOut = at + NthBit16(window.starts, room);
            return decoded;
          }
          taken(window.starts, at, found);
        }
        carried = window.spill;
        offset = end = at + 16 + std::countr_one(carried);
      }
      // Single steps from here through the window that stopped the walk.
      stepUntil = at + 16;
      continue;
    }
    // One character by a single step, or a byte skipped where none starts.
    if constexpr (kWithStarts) starts[decoded] = offset;
    if (buffer[offset] < 0x80) {
      chars[decoded++] = buffer[offset];
      end = ++offset;
      continue;
    }
    std::uint32_t c;
    const std::int32_t behind = DecodeUtf8AtApart(c, buffer, size, offset);
    if (behind < 0) {
      ++offset;
      continue;
    }
    chars[decoded++] = c;
    offset = end = behind;
  }
  endOut = end;
  return decoded;
}

// The characters from `offset` on, counted as DecodeUtf8Block walks, but
// window after window at fixed steps while they are valid, each one's spill
// carried into the next, so that no window waits for the previous one's
// result.
template <class Path>
std::int32_t CountUtf8Chars(const std::uint8_t* buffer, std::int32_t size, std::int32_t offset) {
  std::int32_t count = 0;
  std::int32_t stepUntil = offset;
  while (offset < size) {
    if (offset >= stepUntil && size - offset >= kUtf8WindowBytes) {
      std::uint32_t carried = 0;
      for (; size - offset >= kUtf8WindowBytes; offset += 16) {
        const Utf8Window window = ScanUtf8Window<Path>(buffer + offset, carried);
        if (!window.valid) break;
        count += CountBits16(window.starts);
        carried = window.spill;
      }
      offset += std::countr_one(carried);
      stepUntil = offset + 16;
      continue;
    }
    std::uint32_t c;
    const std::int32_t behind = DecodeUtf8At(c, buffer, size, offset);
    if (behind < 0) {
      ++offset;
    } else {
      offset = behind;
      ++count;
    }
  }
  return count;
}

#if defined(__SSE2__)
// UTF-8 as UTF-16 units, for comparing with UTF-16 text by the unit: the
// characters from `in` (`size` bytes) whose UTF-16 form is one unit equal to
// their value, window after window at fixed 16-byte steps, each one's spill
// carried into the next, so that no window waits for the one before it. It
// stops before a four-byte character or one led by ED (which may be an
// encoded surrogate), at broken bytes, where fewer than a window's bytes are
// left, and where fewer than 16 units are left of `room`: single steps go on
// from there. Answers the units written (one a character) and the bytes
// they took; `out` may be written up to out[room - 1].
struct Utf8AsUnits {
  std::int32_t units, bytes;
};
[[gnu::target("ssse3")]] inline Utf8AsUnits TranscodeUtf8Units(const std::uint8_t* in, std::int32_t size,
                                                             char16_t* out, std::int32_t room) {
  using P = Utf8Ssse3Path;
  const __m128i zero = _mm_setzero_si128();
  std::int32_t n = 0, offset = 0;
  std::uint32_t carried = 0;
  for (; room - n >= 16 && size - offset >= kUtf8WindowBytes; offset += 16) {
    const std::uint8_t* at = in + offset;
    auto* to = reinterpret_cast<__m128i*>(out + n);
    const __m128i b0 = P::load(at);
    if (P::byteMask(b0) == 0) {
      // ASCII, the common window: each byte is its unit (a window that
      // continues a character starts with a byte that is not ASCII).
      _mm_storeu_si128(to, _mm_unpacklo_epi8(b0, zero));
      _mm_storeu_si128(to + 1, _mm_unpackhi_epi8(b0, zero));
      n += 16;
      continue;
    }
    const Utf8Window window = ScanUtf8Window<Utf8Sse2Path>(at, carried);
    if (!window.valid) break;
    const std::uint32_t stops =
        P::byteMask(_mm_or_si128(P::atLeastBytes(b0, 0xF0), P::equalBytes(b0, 0xED))) & window.starts;
    // The starts before the first stop (all of them when there is none).
    const std::uint32_t starts = window.starts & ((stops & -stops) - 1);
    __m128i low[2], above[2];
    P::decodeLanes(at, low, above);
    for (int half = 0; half < 2; ++half) {
      const std::uint32_t mask = starts >> (8 * half) & 0xFF;
      const __m128i gather = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P::kGather.bytes[mask]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_shuffle_epi8(low[half], gather));
      n += kNthBits.count[mask];
    }
    if (stops != 0) return {n, offset + std::countr_zero(stops)};
    carried = window.spill;
  }
  return {n, offset + std::countr_one(carried)};
}

// How far UTF-8 text and UTF-16 text agree, read from the UTF-16 side: 16
// units at a time, each below U+0800, are written out as their one- or
// two-byte UTF-8 forms and held against the UTF-8 bytes. Equal bytes are
// those characters' shortest forms, so the UTF-8 text needs no check of its
// own, and ASCII costs what any other group does (no branch on the text).
// Where a group holds a unit from U+0800 on, the units before it pass, and
// it and the three behind it are held against the bytes by their forms of up
// to three bytes. Stops before 16 (or 4) units that differ or hold a
// surrogate, and where fewer than 32 bytes, 16 units or 16 of `most` are
// left. Answers the units passed (one a character) and the bytes they took.
// The UTF-16 text need not be aligned.
struct Utf8Utf16Agreement {
  std::int32_t units, bytes;
};
// For each mask of eight units (bit k: unit k takes two bytes), the bytes of
// their UTF-8 forms out of 16-bit lanes holding [byte, -] or [lead, trail],
// and the bits of the bytes those forms fill.
struct PackUnits {
  std::uint8_t bytes[256][16];
  std::uint16_t filled[256];
  std::uint8_t length[256];
};
inline constexpr PackUnits kPackUnits = [] {
  PackUnits p{};
  for (int mask = 0; mask < 256; ++mask) {
    int n = 0;
    for (int k = 0; k < 8; ++k) {
      p.bytes[mask][n++] = static_cast<std::uint8_t>(2 * k);
      if (mask >> k & 1) p.bytes[mask][n++] = static_cast<std::uint8_t>(2 * k + 1);
    }
    p.length[mask] = static_cast<std::uint8_t>(n);
    p.filled[mask] = static_cast<std::uint16_t>((1u << n) - 1);
    while (n < 16) p.bytes[mask][n++] = 0x80;
  }
  return p;
}();

// A unit below U+0800 as its UTF-8 form, with `two` set where that takes two
// bytes: lead 110xxxxx in the low byte, trail 10xxxxxx in the high one.
[[gnu::target("ssse3"), gnu::always_inline]] inline __m128i ShortUtf8Forms(__m128i u, __m128i two) {
  const __m128i pair =
      _mm_or_si128(_mm_and_si128(_mm_or_si128(_mm_slli_epi16(u, 8), _mm_srli_epi16(u, 6)), _mm_set1_epi16(0x3F1F)),
                   _mm_set1_epi16(static_cast<short>(0x80C0)));
  return _mm_xor_si128(u, _mm_and_si128(two, _mm_xor_si128(pair, u)));
}

// Eight units' forms (lanes of ShortUtf8Forms, `mask` their two-byte ones)
// held against the 16 bytes of UTF-8 at `at`: the bits of the bytes that
// differ (also those the forms do not reach).
[[gnu::target("ssse3"), gnu::always_inline]] inline std::uint32_t ShortUtf8Differs(__m128i lanes, std::uint32_t mask,
                                                                                  const std::uint8_t* at) {
  const __m128i bytes =
      _mm_shuffle_epi8(lanes, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kPackUnits.bytes[mask])));
  const __m128i there = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  return ~static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, there))) & 0xFFFF;
}

// For each four units by class (bits 0 to 3: unit k takes two bytes or
// more, bits 4 to 7: three), the bytes of their UTF-8 forms out of 32-bit
// lanes holding [byte], [lead, trail] or [lead, middle, trail], and how many.
struct PackFourUnits {
  std::uint8_t bytes[256][16];
  std::uint8_t length[256];
};
inline constexpr PackFourUnits kPackFourUnits = [] {
  PackFourUnits p{};
  for (int index = 0; index < 256; ++index) {
    int n = 0;
    for (int k = 0; k < 4; ++k) {
      const int size = 1 + (index >> k & 1) + (index >> (4 + k) & 1);
      for (int b = 0; b < size; ++b) p.bytes[index][n++] = static_cast<std::uint8_t>(4 * k + b);
    }
    p.length[index] = static_cast<std::uint8_t>(n);
    while (n < 16) p.bytes[index][n++] = 0x80;
  }
  return p;
}();

// Four units from `utf16` held against the UTF-8 at `utf8` (16 bytes
// readable) as their forms of up to three bytes: the bytes those take when
// they agree and none is a surrogate; 0 otherwise.
[[gnu::target("ssse3"), gnu::always_inline]] inline std::int32_t AgreeFourUnits(const std::uint8_t* utf8,
                                                                               const std::uint8_t* utf16) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i u = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(utf16));
  const __m128i surrogate = _mm_cmpeq_epi16(_mm_and_si128(u, _mm_set1_epi16(static_cast<short>(0xF800))),
                                            _mm_set1_epi16(static_cast<short>(0xD800)));
  if ((_mm_movemask_epi8(surrogate) & 0xFF) != 0) return 0;
  // All-ones where a unit takes one byte, where it takes at most two.
  const __m128i one = _mm_cmpeq_epi16(_mm_subs_epu16(u, _mm_set1_epi16(0x7F)), zero);
  const __m128i upToTwo = _mm_cmpeq_epi16(_mm_subs_epu16(u, _mm_set1_epi16(0x7FF)), zero);
  // Bits 0 to 7: units of two bytes or more (each twice), 8 to 15: of three.
  const auto classes = ~static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(one, upToTwo)));
  const std::uint32_t index = (classes & 0x0F) | (classes >> 4 & 0xF0);
  const __m128i w = _mm_unpacklo_epi16(u, zero);
  const __m128i pair =
      _mm_or_si128(_mm_or_si128(_mm_srli_epi32(w, 6), _mm_and_si128(_mm_slli_epi32(w, 8), _mm_set1_epi32(0x3F00))),
                   _mm_set1_epi32(0x80C0));
  const __m128i triple = _mm_or_si128(
      _mm_or_si128(_mm_srli_epi32(w, 12), _mm_and_si128(_mm_slli_epi32(w, 2), _mm_set1_epi32(0x3F00))),
      _mm_or_si128(_mm_and_si128(_mm_slli_epi32(w, 16), _mm_set1_epi32(0x3F0000)), _mm_set1_epi32(0x8080E0)));
  // One byte: the unit; two: the pair; three: the triple.
  const __m128i oneLanes = _mm_unpacklo_epi16(one, one), upToTwoLanes = _mm_unpacklo_epi16(upToTwo, upToTwo);
  __m128i lanes = _mm_xor_si128(pair, _mm_and_si128(oneLanes, _mm_xor_si128(pair, w)));
  lanes = _mm_xor_si128(triple, _mm_and_si128(upToTwoLanes, _mm_xor_si128(triple, lanes)));
  const __m128i bytes =
      _mm_shuffle_epi8(lanes, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kPackFourUnits.bytes[index])));
  const __m128i there = _mm_loadu_si128(reinterpret_cast<const __m128i*>(utf8));
  const std::int32_t length = kPackFourUnits.length[index];
  const auto differs = ~static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, there)));
  return (differs & ((1u << length) - 1)) == 0 ? length : 0;
}

[[gnu::target("ssse3")]] inline Utf8Utf16Agreement AgreeShortUtf16(const std::uint8_t* utf8, std::int32_t size,
                                                                  const std::uint8_t* utf16, std::int32_t units,
                                                                  std::int32_t most) {
  const __m128i zero = _mm_setzero_si128();
  const auto load = [](const std::uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
  std::int32_t n = 0, at = 0;
  const std::int32_t all = std::min(units, most);
  while (all - n >= 16 && size - at >= 32) {
    const __m128i u0 = load(utf16 + 2 * n), u1 = load(utf16 + 2 * n + 16);
    const __m128i longUnit = _mm_set1_epi16(static_cast<short>(0xF800));
    const auto shortUnits = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(
        _mm_cmpeq_epi16(_mm_and_si128(u0, longUnit), zero), _mm_cmpeq_epi16(_mm_and_si128(u1, longUnit), zero))));
    const __m128i ascii = _mm_set1_epi16(0x7F);
    const __m128i two0 = _mm_cmpgt_epi16(u0, ascii), two1 = _mm_cmpgt_epi16(u1, ascii);
    const auto mask = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(two0, two1)));
    const std::uint32_t low = mask & 0xFF, high = mask >> 8;
    const std::int32_t middle = at + kPackUnits.length[low];
    const std::uint32_t differs0 = ShortUtf8Differs(ShortUtf8Forms(u0, two0), low, utf8 + at);
    const std::uint32_t differs1 = ShortUtf8Differs(ShortUtf8Forms(u1, two1), high, utf8 + middle);
    if (shortUnits != 0xFFFF || ((differs0 & kPackUnits.filled[low]) | (differs1 & kPackUnits.filled[high])) != 0) {
      // The units before the first long one, when they agree: the caller
      // goes on at that character.
      // (With all 16 short, some byte differs, and the check below stops.)
      const std::int32_t take = std::countr_one(shortUnits);
      const std::uint32_t taken = (1u << take) - 1;
      const std::int32_t lowBytes = std::min(take, 8) + kNthBits.count[low & taken];
      const std::int32_t highBytes = std::max(take - 8, 0) + kNthBits.count[high & taken >> 8];
      if (((differs0 & ((1u << lowBytes) - 1)) | (differs1 & ((1u << highBytes) - 1))) != 0) break;
      n += take;
      at += lowBytes + highBytes;
      // The long unit and the three behind it by their forms of up to three
      // bytes; then groups of 16 again.
      const std::int32_t length = all - n >= 4 && size - at >= 16 ? AgreeFourUnits(utf8 + at, utf16 + 2 * n) : 0;
      if (length == 0) break;
      n += 4;
      at += length;
      continue;
    }
    at = middle + kPackUnits.length[high];
    n += 16;
  }
  return {n, at};
}

// The offset of character `k` of what TranscodeUtf8Units took from `in`
// (k below the units it answered): the same windows walked again, counted.
inline std::int32_t OffsetOfUtf8Unit(const std::uint8_t* in, std::int32_t k) {
  std::uint32_t carried = 0;
  for (std::int32_t offset = 0;; offset += 16) {
    const Utf8Window window = ScanUtf8Window<Utf8Sse2Path>(in + offset, carried);
    const std::int32_t count = CountBits16(window.starts);
    if (k < count) return offset + NthBit16(window.starts, k);
    k -= count;
    carried = window.spill;
  }
}
#endif

// The characters from `offset` to `size` when every byte there belongs to a
// character in its shortest form that ends by `size` (surrogates count, the
// long forms led by C1 do not), so that equal characters are equal bytes;
// -1 otherwise. Reads nothing from `size` on.
template <class Path>
std::int32_t CountShortestUtf8(const std::uint8_t* buffer, std::int32_t size, std::int32_t offset) {
  // 0xC1 is never part of a shortest form; the windows would take it.
  if (offset >= size) return 0;
  if (std::memchr(buffer + offset, 0xC1, static_cast<std::size_t>(size - offset)) != nullptr) return -1;
  std::int32_t count = 0;
  std::uint32_t carried = 0;
  for (; size - offset >= kUtf8WindowBytes; offset += 16) {
    const Utf8Window window = ScanUtf8Window<Path>(buffer + offset, carried);
    if (!window.valid) return -1;
    count += CountBits16(window.starts);
    carried = window.spill;
  }
  offset += std::countr_one(carried);
  while (offset < size) {
    std::size_t used;
    if (DecodeUtf8(buffer + offset, static_cast<std::size_t>(size - offset), used, kUtf8Surrogates) == kNotUtf8) {
      return -1;
    }
    offset += static_cast<std::int32_t>(used);
    ++count;
  }
  return count;
}

// The walks below take their arguments in the order a reader's decodeChars
// does (chars, maxCount, count, buffer, size, offset, starts) and answer the
// end, so that the reader's call passes straight on to them.
#if defined(__SSE2__)
// The SSSE3 walk, compiled for SSSE3 as a whole so that its steps inline.
template <bool kWithStarts>
[[gnu::target("ssse3"), gnu::flatten]] std::int32_t DecodeUtf8CharsSsse3(std::uint32_t* chars, std::int32_t maxCount,
                                                                          std::int32_t& count, const std::uint8_t* buffer,
                                                                          std::int32_t size, std::int32_t offset,
                                                                          std::int32_t* starts) {
  std::int32_t end;
  count = DecodeUtf8Block<Utf8Ssse3Path, kWithStarts>(chars, starts, maxCount, buffer, size, offset, end);
  return end;
}
#endif

template <bool kWithStarts>
[[gnu::noinline]] std::int32_t DecodeUtf8CharsBaseline(std::uint32_t* chars, std::int32_t maxCount, std::int32_t& count,
                                                      const std::uint8_t* buffer, std::int32_t size,
                                                      std::int32_t offset, std::int32_t* starts) {
  std::int32_t end;
  count = DecodeUtf8Block<Utf8VectorPath, kWithStarts>(chars, starts, maxCount, buffer, size, offset, end);
  return end;
}

// DecodeUtf8Block on the fastest path this processor runs: count gets the
// characters, the answer is the end behind the last one (offset when none).
// Small, so that it inlines into its caller and the walk is one call away.
// Utf8DecodePath names the path ("SSSE3", "SSE2" or "scalar").
template <bool kWithStarts>
inline std::int32_t DecodeUtf8Chars(std::uint32_t* chars, std::int32_t maxCount, std::int32_t& count,
                                    const std::uint8_t* buffer, std::int32_t size, std::int32_t offset,
                                    std::int32_t* starts) {
#if defined(__SSE2__)
  if (kUtf8HasSsse3) return DecodeUtf8CharsSsse3<kWithStarts>(chars, maxCount, count, buffer, size, offset, starts);
#endif
  return DecodeUtf8CharsBaseline<kWithStarts>(chars, maxCount, count, buffer, size, offset, starts);
}

inline const char* Utf8DecodePath() {
#if defined(__SSE2__)
  if (kUtf8HasSsse3) return Utf8Ssse3Path::kName;
#endif
  return Utf8VectorPath::kName;
}

}  // namespace compat::win32
