// The library's string value: a shared pointer to an immutable IString that
// is never empty-handed. A default String is the null string (an absent
// value), which differs from the empty string "".
//
//   lumo::String text = lumo::String("The file '%FILE%' was not found.")
//                           .replace("%FILE%", path);
//   lumo::String message = u"Cannot open " + text + ".";
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "foundation/IString.h"
#include "foundation/Pointer.h"

namespace lumo {

class String {
 public:
  // The null string.
  String();
  String(std::nullptr_t) : String() {}
  // Copies NUL-terminated text; a null pointer gives the null string.
  String(const char* latin1);
  String(const char16_t* utf16);
  // Shares `text`; a null pointer gives the null string.
  String(P<IString> text);
  template <class U>
    requires std::convertible_to<U*, IString*>
  String(P<U> text) : String(P<IString>(std::move(text))) {}

  IString* operator->() const noexcept { return text.get(); }
  IString& operator*() const noexcept { return *text; }
  const P<IString>& get() const noexcept { return text; }

  bool isNull() const { return text->isNull(); }
  bool isEmpty() const { return text->isEmpty(); }
  std::int32_t length() const { return text->length(); }

  String replace(const String& what, const String& with) const { return text->replace(*what, *with); }
  StringPosition find(const String& what, std::int32_t start = 0) const { return text->find(*what, start); }
  bool startsWith(const String& prefix) const { return text->startsWith(*prefix); }
  bool endsWith(const String& suffix) const { return text->endsWith(*suffix); }
  // Characters `start` to `end` (-1: the end), sharing this text's bytes.
  String slice(std::int32_t start, std::int32_t end = -1) const { return text->slice(start, end); }
  bool equalsNoCase(const String& other) const { return text->matchesAtNoCase(*other); }

  friend String operator+(const String& left, const String& right) { return left->concat(*right); }
  friend String operator+(const String& left, const char* right) { return left->concat(right); }
  friend String operator+(const String& left, const char16_t* right) { return left->concat(right); }
  friend String operator+(const char* left, const String& right) { return String(left) + right; }
  friend String operator+(const char16_t* left, const String& right) { return String(left) + right; }

  // Equal text, whatever the encodings; the null string equals "".
  friend bool operator==(const String& left, const String& right) {
    return left->compare(*right, 0, -1) == 0;
  }

 private:
  P<IString> text;
};

}  // namespace lumo
