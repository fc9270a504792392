// Helpers for the foundation tests: readable Strings in failure messages,
// byte buffers from lists, and a scoped C locale.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "foundation/ICharEncoding.h"
#include "foundation/String.h"

namespace lumo {

// The text as UTF-8, for messages and comparisons.
inline std::string ToUTF8(const String& text) {
  const ICharEncoding& utf8 = *GetUTF8CharEncoding();
  const ICharEncoding& encoding = *text->getEncoding();
  std::string out;
  CodePoint c;
  for (std::int32_t at = 0;
       (at = encoding.decodeNextChar(c, text->data(), text->byteLength(), at)) >= 0;) {
    std::uint8_t bytes[4];
    const std::int32_t size = utf8.encodeChar(c, bytes, 4, 0);
    out.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
  }
  return out;
}

inline void PrintTo(const String& text, std::ostream* out) {
  *out << (text.isNull() ? std::string("<null>") : '"' + ToUTF8(text) + '"');
}

}  // namespace lumo

namespace lumo::test {

using Bytes = std::vector<std::uint8_t>;

// Sets the C locale of the process for one test and puts the old one back.
struct ScopedLocale {
  explicit ScopedLocale(const char* name)
      : previous(std::setlocale(LC_ALL, nullptr)), available(std::setlocale(LC_ALL, name) != nullptr) {}
  ~ScopedLocale() { std::setlocale(LC_ALL, previous.c_str()); }
  const std::string previous;  // copied before the switch overwrites setlocale's buffer
  const bool available;
};

}  // namespace lumo::test
