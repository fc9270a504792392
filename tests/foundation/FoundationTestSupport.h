// Helpers for the foundation tests: readable Strings, byte buffers, a scoped C locale, a counted object.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "foundation/CString.h"
#include "foundation/ICharEncoding.h"
#include "foundation/Object.h"
#include "foundation/String.h"

namespace lumo {

// The text as UTF-8, for messages and comparisons.
inline std::string ToUTF8(const String& text) {
  const String utf8 = CString::convert(*text, GetUTF8CharEncoding());
  return std::string(reinterpret_cast<const char*>(utf8->data()), static_cast<std::size_t>(utf8->byteLength()));
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

// Adds one to `destroyed` (an int, or an atomic one across threads) when it
// goes. A copy counts into the same counter.
template <class Counter = int>
class TCounted : public CObject {
 public:
  explicit TCounted(Counter& destroyed) : destroyed(destroyed) {}

 protected:
  ~TCounted() override { ++destroyed; }

 private:
  Counter& destroyed;
};

}  // namespace lumo::test
