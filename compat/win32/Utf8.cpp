// The lossless text forms: stored names and file names.
#include "compat/win32/Utf8.h"

namespace compat::win32 {
namespace {

// The lone surrogates that carry one byte each of a file name that is not
// UTF-8. Bytes below 0x80 are always characters, so 128 of them do.
constexpr char32_t kByteCarrier = 0xDC00;
constexpr char32_t kFirstCarried = 0xDC80;
constexpr char32_t kLastCarried = 0xDCFF;

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    out += HighSurrogateOf(cp);
    out += LowSurrogateOf(cp);
  } else {
    out += static_cast<char16_t>(cp);
  }
}

// UTF-16 to UTF-8, pairs joined into their character; `lone` writes each lone
// surrogate.
template <class Lone>
std::string FromUtf16(std::u16string_view text, Lone lone) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(result, JoinSurrogates(c, text[++i]));
    } else if (IsSurrogate(c)) {
      lone(result, c);
    } else {
      AppendUtf8(result, c);
    }
  }
  return result;
}

// UTF-8 to UTF-16; `extras` says which forms besides Unicode's are
// characters, and `broken` writes the bytes that are none.
template <class Broken>
std::u16string ToUtf16(std::string_view text, unsigned extras, Broken broken) {
  std::u16string result;
  result.reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t used = 0;
    const char32_t c = DecodeUtf8(bytes + i, text.size() - i, used, extras);
    if (c != kNotUtf8) {
      AppendUtf16(result, c);
    } else {
      broken(result, bytes + i, used);
    }
    i += used;
  }
  return result;
}

}  // namespace

std::string Utf16ToUtf8KeepingSurrogates(std::u16string_view text) {
  return FromUtf16(text, [](std::string& out, char32_t c) { AppendUtf8(out, c); });
}

std::u16string Utf8ToUtf16KeepingSurrogates(std::string_view text) {
  return ToUtf16(text, kUtf8Surrogates, [](std::u16string& out, const unsigned char*, std::size_t) { out += u'\uFFFD'; });
}

std::u16string FileNameToUtf16(std::string_view name) {
  // Encoded surrogates are not characters here: one read as the carrier of a
  // byte would write back as that byte, not as the three it came from.
  return ToUtf16(name, kUtf8Strict, [](std::u16string& out, const unsigned char* bytes, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) out += static_cast<char16_t>(kByteCarrier + bytes[k]);
  });
}

std::string Utf16ToFileName(std::u16string_view name) {
  return FromUtf16(name, [](std::string& out, char32_t c) {
    if (c >= kFirstCarried && c <= kLastCarried) {
      out += static_cast<char>(c - kByteCarrier);
    } else {
      AppendUtf8(out, c);
    }
  });
}

}  // namespace compat::win32
