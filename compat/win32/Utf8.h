// The one UTF-8 encoder and decoder of the program, and the one place that
// joins and splits UTF-16 surrogate pairs: compat's code-page conversions,
// the registry's stored names, file names, the command line and the engine's
// JSON go through these, and so do the library's UTF-8 and UTF-16 strings.
//
//   char bytes[4];
//   std::size_t n = compat::win32::EncodeUtf8(U'\u00E9', bytes);        // 2
//   std::size_t used;
//   char32_t c = compat::win32::DecodeUtf8(data, size, used);          // or kNotUtf8
//   std::u16string wide = compat::win32::FileNameToUtf16("caf\xE9");    // u"caf\xDCE9"
//   std::string bytes = compat::win32::Utf16ToFileName(wide);          // "caf\xE9" again
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace compat::win32 {

// What DecodeUtf8 answers for bytes that are not a character.
inline constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

// Which forms DecodeUtf8 takes besides Unicode's well-formed ones (flags).
enum Utf8Extras : unsigned {
  kUtf8Strict = 0,
  // The three-byte forms of U+D800..U+DFFF, which EncodeUtf8 writes for a
  // lone surrogate.
  kUtf8Surrogates = 1,
  // The two-byte forms led by C1, U+0040..U+007F written long: the library's
  // strings read them, as its readers always have (C0 stays refused).
  kUtf8LeadC1 = 2,
  // What the library's strings read as characters.
  kUtf8StringForms = kUtf8Surrogates | kUtf8LeadC1,
};

// Surrogate pairs: a character above the Basic Multilingual Plane as two
// UTF-16 units and back.
inline bool IsSurrogate(char32_t unit) { return unit - 0xD800 < 0x800; }
inline bool IsHighSurrogate(char32_t unit) { return unit - 0xD800 < 0x400; }
inline bool IsLowSurrogate(char32_t unit) { return unit - 0xDC00 < 0x400; }
// The character of a high and a low surrogate.
inline char32_t JoinSurrogates(char32_t high, char32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}
// The high and the low surrogate of a character from U+10000 to U+10FFFF.
inline char16_t HighSurrogateOf(char32_t cp) { return static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)); }
inline char16_t LowSurrogateOf(char32_t cp) { return static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)); }

// The bytes EncodeUtf8 writes for a code point: 1 to 4, or 0 above U+10FFFF.
inline std::size_t Utf8Size(char32_t cp) {
  if (cp < 0x80) return 1;
  if (cp < 0x800) return 2;
  if (cp < 0x10000) return 3;
  return cp <= 0x10FFFF ? 4 : 0;
}

// Writes one code point (up to 0x10FFFF) into `out` and answers the bytes
// written, 1 to 4. A lone surrogate takes its three-byte form, so UTF-16
// names with stray units survive a round trip.
[[gnu::always_inline]] inline std::size_t EncodeUtf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

inline void AppendUtf8(std::string& out, char32_t cp) {
  char bytes[4];
  out.append(bytes, EncodeUtf8(cp, bytes));
}

// Reads one character from the start of `text` (size > 0): its code point,
// with the bytes it took in `used`; or kNotUtf8, with `used` covering the
// maximal invalid subpart (the lead byte and as many continuation bytes as
// could still have led to a character), so that one broken character is one
// error and the next character survives. Overlong forms and values past
// U+10FFFF are never characters; the forms of `extras` (Utf8Extras) are.
[[gnu::always_inline]] inline char32_t DecodeUtf8(const unsigned char* text, std::size_t size, std::size_t& used,
                                                  unsigned extras = kUtf8Strict) {
  const unsigned lead = text[0];
  const bool surrogates = (extras & kUtf8Surrogates) != 0;
  const unsigned leastTwo = extras & kUtf8LeadC1 ? 0xC1 : 0xC2;
  // Well-formed two- and three-byte sequences first, decoded straight;
  // anything else takes the careful way below.
  if (lead >= leastTwo && lead <= 0xDF && size >= 2 && (text[1] & 0xC0) == 0x80) {
    used = 2;
    return ((lead & 0x1F) << 6) | (text[1] & 0x3F);
  }
  if (lead >= 0xE0 && lead <= 0xEF && size >= 3 && (text[1] & 0xC0) == 0x80 && (text[2] & 0xC0) == 0x80) {
    const char32_t cp = ((lead & 0x0F) << 12) | ((text[1] & 0x3F) << 6) | (text[2] & 0x3F);
    if (cp >= 0x800 && (surrogates || cp < 0xD800 || cp > 0xDFFF)) {
      used = 3;
      return cp;
    }
  }
  std::size_t length;
  char32_t cp;
  unsigned low = 0x80;
  unsigned high = 0xBF;
  if (lead < 0x80) {
    used = 1;
    return lead;
  } else if (lead >= leastTwo && lead <= 0xDF) {
    length = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;                  // overlong below U+0800
    if (lead == 0xED && !surrogates) high = 0x9F;  // the surrogates U+D800..U+DFFF
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    used = 1;
    return kNotUtf8;
  }
  std::size_t k = 1;
  for (; k < length && k < size; ++k) {
    const unsigned byte = text[k];
    if (byte < low || byte > high) break;
    cp = (cp << 6) | (byte & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  used = k;
  return k == length ? cp : kNotUtf8;
}

// The two lossless text forms compat keeps. Both write a surrogate pair as
// its four-byte character.
//
// Stored names (the registry's): every UTF-16 string comes back unit for unit.
// A lone surrogate keeps its three-byte form both ways; bytes that are no
// character at all read as U+FFFD.
std::string Utf16ToUtf8KeepingSurrogates(std::u16string_view text);
std::u16string Utf8ToUtf16KeepingSurrogates(std::string_view text);

// File names and the command line: bytes that name files, read as UTF-8
// whatever the locale. Every byte string comes back byte for byte: each byte
// that is not part of a UTF-8 character (a Latin-1 name, a cut sequence, an
// overlong form, an encoded surrogate) reads as the lone surrogate
// U+DC80..U+DCFF that carries it, and writes back as that byte. Other lone
// surrogates, which no file name read here holds, take their three-byte form.
std::u16string FileNameToUtf16(std::string_view name);
std::string Utf16ToFileName(std::u16string_view name);

}  // namespace compat::win32
