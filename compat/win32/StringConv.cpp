// Conversions between UTF-16 and the multibyte code pages.
//
// One decoding loop and one encoding loop serve every code page; a code page
// is a small decoder/encoder object, and the output goes to a sink that either
// writes into the caller's buffer, only counts (the size query), or appends
// to a string (the convenience forms). UTF-8 is decoded by hand with an ASCII
// fast path, as it sits on the start-up path of every program.
//
// The "ANSI" code page follows the locale's character set: UTF-8 for a UTF-8
// locale, the C library's multibyte functions for any other set, and Latin-1
// in the plain "C"/POSIX locale. Latin-1 keeps every byte: text read in a
// locale that declares only ASCII survives the round trip to UTF-16 and back
// unchanged, and only characters above U+00FF become the default character.
#include "compat/win32/StringConv.h"

#include <langinfo.h>

#include <climits>
#include <cstring>
#include <cwchar>

#include "compat/win32/Error.h"
#include "compat/win32/Utf8.h"

namespace {

constexpr char32_t kReplacementChar = 0xFFFD;
// What a decoder answers for a byte sequence that is not a character.
constexpr char32_t kInvalid = compat::win32::kNotUtf8;

enum class Status { kOk, kInvalid, kOverflow };

// ---------------------------------------------------------------------------
// Sinks

// Writes into a caller's buffer of fixed size.
template <class UnitType>
class BufferSink {
 public:
  using Unit = UnitType;
  BufferSink(Unit* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {}
  bool PutOne(Unit unit) {
    if (count_ == capacity_) return false;
    buffer_[count_++] = unit;
    return true;
  }
  bool Put(const Unit* units, std::size_t n) {
    if (capacity_ - count_ < n) return false;
    std::memcpy(buffer_ + count_, units, n * sizeof(Unit));
    count_ += n;
    return true;
  }
  template <class From>
  bool PutAscii(const From* text, std::size_t n) {
    if (capacity_ - count_ < n) return false;
    Unit* out = buffer_ + count_;
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<Unit>(text[i]);
    count_ += n;
    return true;
  }
  std::size_t Count() const { return count_; }

 private:
  Unit* buffer_;
  std::size_t capacity_;
  std::size_t count_ = 0;
};

// Only counts: the size query.
template <class UnitType>
class CountingSink {
 public:
  using Unit = UnitType;
  bool PutOne(Unit) {
    ++count_;
    return true;
  }
  bool Put(const Unit*, std::size_t n) {
    count_ += n;
    return true;
  }
  template <class From>
  bool PutAscii(const From*, std::size_t n) {
    count_ += n;
    return true;
  }
  std::size_t Count() const { return count_; }

 private:
  std::size_t count_ = 0;
};

// Appends to a string.
template <class UnitType>
class StringSink {
 public:
  using Unit = UnitType;
  explicit StringSink(std::basic_string<Unit>& text) : text_(text) {}
  bool PutOne(Unit unit) {
    text_.push_back(unit);
    return true;
  }
  bool Put(const Unit* units, std::size_t n) {
    text_.append(units, n);
    return true;
  }
  template <class From>
  bool PutAscii(const From* text, std::size_t n) {
    const std::size_t at = text_.size();
    text_.resize(at + n);
    for (std::size_t i = 0; i < n; ++i) text_[at + i] = static_cast<Unit>(text[i]);
    return true;
  }
  std::size_t Count() const { return text_.size(); }

 private:
  std::basic_string<Unit>& text_;
};

// Whether the eight bytes at `text` (eight bytes, four UTF-16 units) are ASCII.
bool AsciiWord(const unsigned char* text) {
  std::uint64_t word;
  std::memcpy(&word, text, 8);
  return (word & 0x8080808080808080ull) == 0;
}

bool AsciiWord(const char16_t* text) {
  std::uint64_t word;
  std::memcpy(&word, text, 8);
  return (word & 0xFF80FF80FF80FF80ull) == 0;
}

// Length of the run of ASCII units at the start of `text`, a word at a time
// while it lasts.
template <class Unit>
std::size_t AsciiRun(const Unit* text, std::size_t n) {
  constexpr std::size_t kWord = 8 / sizeof(Unit);
  std::size_t i = 0;
  while (i + kWord <= n && AsciiWord(text + i)) i += kWord;
  while (i < n && text[i] < 0x80) ++i;
  return i;
}

// Copies the ASCII at text[i] and moves i past it: a long run in one piece,
// else the one unit (runs in mixed text are short). False when the sink is full.
template <class Unit, class Sink>
[[gnu::always_inline]] inline bool CopyAscii(const Unit* text, std::size_t n, std::size_t& i, Sink& out) {
  if (n - i >= 8 / sizeof(Unit) && AsciiWord(text + i)) {
    const std::size_t run = AsciiRun(text + i, n - i);
    if (!out.PutAscii(text + i, run)) return false;
    i += run;
    return true;
  }
  if (!out.PutOne(static_cast<typename Sink::Unit>(text[i]))) return false;
  ++i;
  return true;
}

// ---------------------------------------------------------------------------
// Decoders: Next reads one character from the start of `text` (n > 0), sets
// `used` to the bytes it took and answers the code point or kInvalid.

class Utf8Decoder {
 public:
  static constexpr bool kAsciiTransparent = true;

  [[gnu::always_inline]] char32_t Next(const unsigned char* text, std::size_t n, std::size_t& used) {
    return compat::win32::DecodeUtf8(text, n, used);
  }
};

class Latin1Decoder {
 public:
  static constexpr bool kAsciiTransparent = true;
  char32_t Next(const unsigned char* text, std::size_t, std::size_t& used) {
    used = 1;
    return text[0];
  }
};

// The locale's own character set, through the C library.
class LocaleDecoder {
 public:
  static constexpr bool kAsciiTransparent = false;
  char32_t Next(const unsigned char* text, std::size_t n, std::size_t& used) {
    wchar_t wc;
    const std::size_t r = std::mbrtowc(&wc, reinterpret_cast<const char*>(text), n, &state_);
    if (r == 0) {  // the NUL character
      used = 1;
      return 0;
    }
    if (r == static_cast<std::size_t>(-1) || r == static_cast<std::size_t>(-2)) {
      state_ = std::mbstate_t{};
      used = r == static_cast<std::size_t>(-2) ? n : 1;
      return kInvalid;
    }
    used = r;
    const auto cp = static_cast<char32_t>(wc);
    return cp > 0x10FFFF || compat::win32::IsSurrogate(cp) ? kInvalid : cp;
  }

 private:
  std::mbstate_t state_{};
};

// ---------------------------------------------------------------------------
// Encoders: Encode writes the bytes of one code point into `out` (room for 16)
// and answers their number, or 0 when the code page has no such character.

class Utf8Encoder {
 public:
  static constexpr bool kAsciiTransparent = true;
  [[gnu::always_inline]] std::size_t Encode(char32_t cp, char* out) { return compat::win32::EncodeUtf8(cp, out); }
};

class Latin1Encoder {
 public:
  static constexpr bool kAsciiTransparent = true;
  std::size_t Encode(char32_t cp, char* out) {
    if (cp > 0xFF) return 0;
    out[0] = static_cast<char>(cp);
    return 1;
  }
};

class LocaleEncoder {
 public:
  static constexpr bool kAsciiTransparent = false;
  std::size_t Encode(char32_t cp, char* out) {
    static_assert(MB_LEN_MAX <= 16);
    const std::size_t r = std::wcrtomb(out, static_cast<wchar_t>(cp), &state_);
    if (r == static_cast<std::size_t>(-1)) {
      state_ = std::mbstate_t{};
      return 0;
    }
    return r;
  }

 private:
  std::mbstate_t state_{};
};

// ---------------------------------------------------------------------------
// The two loops.

template <class Sink>
[[gnu::always_inline]] inline bool PutCodePoint(Sink& out, char32_t cp) {
  if (cp < 0x10000) {
    const char16_t unit = static_cast<char16_t>(cp);
    return out.Put(&unit, 1);
  }
  const char16_t pair[2] = {compat::win32::HighSurrogateOf(cp), compat::win32::LowSurrogateOf(cp)};
  return out.Put(pair, 2);
}

// Bytes to UTF-16. `strict` fails on the first invalid sequence instead of
// writing U+FFFD for it.
template <class Decoder, class Sink>
Status Decode(Decoder& decoder, const unsigned char* text, std::size_t n, bool strict, Sink& out) {
  std::size_t i = 0;
  while (i < n) {
    if constexpr (Decoder::kAsciiTransparent) {
      if (text[i] < 0x80) {
        if (!CopyAscii(text, n, i, out)) return Status::kOverflow;
        continue;
      }
    }
    std::size_t used = 0;
    char32_t cp = decoder.Next(text + i, n - i, used);
    if (cp == kInvalid) {
      if (strict) return Status::kInvalid;
      cp = kReplacementChar;
    }
    if (!PutCodePoint(out, cp)) return Status::kOverflow;
    i += used;
  }
  return Status::kOk;
}

// What becomes of a UTF-16 unit the code page cannot carry (a lone surrogate,
// or a character outside the code page).
struct Unmappable {
  bool fail = false;               // fail with ERROR_NO_UNICODE_TRANSLATION
  const char* replacement = "?";  // else write these bytes
  std::size_t replacementSize = 1;
  BOOL* used = nullptr;            // and note it here
};

// UTF-16 to bytes. A character is written whole or not at all.
template <class Encoder, class Sink>
Status Encode(Encoder& encoder, const char16_t* text, std::size_t n, const Unmappable& unmappable,
              Sink& out) {
  std::size_t i = 0;
  char bytes[16];
  while (i < n) {
    if constexpr (Encoder::kAsciiTransparent) {
      if (text[i] < 0x80) {
        if (!CopyAscii(text, n, i, out)) return Status::kOverflow;
        continue;
      }
    }
    char32_t cp = text[i];
    std::size_t units = 1;
    bool valid = true;
    if (compat::win32::IsHighSurrogate(cp) && i + 1 < n && compat::win32::IsLowSurrogate(text[i + 1])) {
      cp = compat::win32::JoinSurrogates(cp, text[i + 1]);
      units = 2;
    } else if (compat::win32::IsSurrogate(cp)) {
      valid = false;
    }
    const std::size_t size = valid ? encoder.Encode(cp, bytes) : 0;
    if (size != 0) {
      if (!out.Put(bytes, size)) return Status::kOverflow;
    } else {
      if (unmappable.fail) return Status::kInvalid;
      if (!out.Put(unmappable.replacement, unmappable.replacementSize)) return Status::kOverflow;
      if (unmappable.used != nullptr) *unmappable.used = TRUE;
    }
    i += units;
  }
  return Status::kOk;
}

// ---------------------------------------------------------------------------
// Code pages

enum class Charset { kUtf8, kLatin1, kLocale };

Charset AnsiCharset() {
  const char* codeset = nl_langinfo(CODESET);
  if (std::strcmp(codeset, "UTF-8") == 0) return Charset::kUtf8;
  // The "C" and POSIX locales name plain ASCII; see the top of the file.
  if (std::strcmp(codeset, "ANSI_X3.4-1968") == 0 || std::strcmp(codeset, "ISO-8859-1") == 0) {
    return Charset::kLatin1;
  }
  return Charset::kLocale;
}

bool IsAnsi(UINT codePage) {
  return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP;
}

// Calls `f` with the decoder (Decoders = true) or encoder of the character set.
template <bool Decoders, class F>
auto WithCodec(Charset charset, F&& f) {
  if constexpr (Decoders) {
    switch (charset) {
      case Charset::kUtf8: { Utf8Decoder d; return f(d); }
      case Charset::kLatin1: { Latin1Decoder d; return f(d); }
      case Charset::kLocale: break;
    }
    LocaleDecoder d;
    return f(d);
  } else {
    switch (charset) {
      case Charset::kUtf8: { Utf8Encoder e; return f(e); }
      case Charset::kLatin1: { Latin1Encoder e; return f(e); }
      case Charset::kLocale: break;
    }
    LocaleEncoder e;
    return f(e);
  }
}

// Runs a conversion into the caller's buffer, or only counts when the buffer
// size is 0, and turns its status into the Windows result.
template <class Unit, class Convert>
int ConvertInto(Unit* buffer, int capacity, Convert&& convert) {
  Status status;
  std::size_t count;
  if (capacity == 0) {
    CountingSink<Unit> sink;
    status = convert(sink);
    count = sink.Count();
  } else {
    BufferSink<Unit> sink(buffer, static_cast<std::size_t>(capacity));
    status = convert(sink);
    count = sink.Count();
  }
  switch (status) {
    case Status::kOk: break;
    case Status::kInvalid: SetLastError(ERROR_NO_UNICODE_TRANSLATION); return 0;
    case Status::kOverflow: SetLastError(ERROR_INSUFFICIENT_BUFFER); return 0;
  }
  if (count > static_cast<std::size_t>(INT_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return static_cast<int>(count);
}

template <class Unit>
std::size_t LengthWithTerminator(const Unit* text) {
  return std::char_traits<Unit>::length(text) + 1;
}

}  // namespace

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteLength,
                               LPWSTR wide, int wideLength) {
  if (multiByte == nullptr || multiByteLength == 0 || multiByteLength < -1 || wideLength < 0 ||
      (wide == nullptr && wideLength != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Charset charset;
  if (codePage == CP_UTF8) {
    charset = Charset::kUtf8;
    if ((flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
  } else if (IsAnsi(codePage)) {
    charset = AnsiCharset();
    // MB_PRECOMPOSED, MB_COMPOSITE and MB_USEGLYPHCHARS change nothing here.
    if ((flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS | 0x7)) != 0) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(multiByte);
  const std::size_t n = multiByteLength == -1 ? LengthWithTerminator(multiByte)
                                              : static_cast<std::size_t>(multiByteLength);
  const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
  return ConvertInto(wide, wideLength, [&](auto& sink) {
    return WithCodec<true>(charset, [&](auto& decoder) { return Decode(decoder, bytes, n, strict, sink); });
  });
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength,
                               LPSTR multiByte, int multiByteLength, LPCSTR defaultChar,
                               BOOL* usedDefaultChar) {
  if (wide == nullptr || wideLength == 0 || wideLength < -1 || multiByteLength < 0 ||
      (multiByte == nullptr && multiByteLength != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Charset charset;
  Unmappable unmappable;
  if (codePage == CP_UTF8) {
    // UTF-8 can carry every character; only lone surrogates are left, and
    // they become U+FFFD. There is no default character to ask for.
    if (defaultChar != nullptr || usedDefaultChar != nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    if ((flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
    charset = Charset::kUtf8;
    unmappable.fail = (flags & WC_ERR_INVALID_CHARS) != 0;
    unmappable.replacement = "\xEF\xBF\xBD";
    unmappable.replacementSize = 3;
  } else if (IsAnsi(codePage)) {
    // There is no best fit here: what the code page lacks is always the
    // default character.
    if ((flags & ~static_cast<DWORD>(WC_NO_BEST_FIT_CHARS)) != 0) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
    charset = AnsiCharset();
    if (defaultChar != nullptr) unmappable.replacement = defaultChar;
    unmappable.used = usedDefaultChar;
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (usedDefaultChar != nullptr) *usedDefaultChar = FALSE;
  const std::size_t n = wideLength == -1 ? LengthWithTerminator(wide)
                                         : static_cast<std::size_t>(wideLength);
  return ConvertInto(multiByte, multiByteLength, [&](auto& sink) {
    return WithCodec<false>(charset, [&](auto& encoder) { return Encode(encoder, wide, n, unmappable, sink); });
  });
}

int WINAPI lstrlenW(LPCWSTR text) {
  return text == nullptr ? 0 : static_cast<int>(std::char_traits<char16_t>::length(text));
}

namespace compat::win32 {

namespace {

template <bool Decoders, class Out, class In>
Out ConvertString(Charset charset, In text, const Unmappable& unmappable = {}) {
  Out result;
  result.reserve(text.size());
  StringSink<typename Out::value_type> sink(result);
  WithCodec<Decoders>(charset, [&](auto& codec) {
    if constexpr (Decoders) {
      return Decode(codec, reinterpret_cast<const unsigned char*>(text.data()), text.size(), false, sink);
    } else {
      return Encode(codec, text.data(), text.size(), unmappable, sink);
    }
  });
  return result;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  return ConvertString<true, std::u16string>(Charset::kUtf8, text);
}

std::string Utf16ToUtf8(std::u16string_view text) {
  Unmappable unmappable;
  unmappable.replacement = "\xEF\xBF\xBD";
  unmappable.replacementSize = 3;
  return ConvertString<false, std::string>(Charset::kUtf8, text, unmappable);
}

std::u16string AnsiToUtf16(std::string_view text) {
  return ConvertString<true, std::u16string>(AnsiCharset(), text);
}

std::string Utf16ToAnsi(std::u16string_view text) {
  return ConvertString<false, std::string>(AnsiCharset(), text);
}

void AppendPercentEscape(std::string& out, unsigned char byte) {
  out += '%';
  out += kUpperHexDigits[byte >> 4];
  out += kUpperHexDigits[byte & 0xF];
}

}  // namespace compat::win32
