// The interface of the library's immutable strings: encoded bytes plus the
// encoding that reads them, so strings of different encodings compare and
// combine with each other.
#pragma once

#include <cstdint>

#include "foundation/IComparable.h"
#include "foundation/Pointer.h"

namespace lumo {

class IString : public virtual IComparable {
 public:
  // This string from character `startIndex` against `other`, at most
  // `maxCount` characters (-1: no limit), in plain code point order:
  // -1, 0 or 1.
  virtual std::int32_t compare(const IString& other, std::int32_t startIndex,
                               std::int32_t maxCount) const = 0;

  // A new string with the other text appended. When a character of the
  // other text does not fit this string's encoding, the result is in a
  // Unicode encoding that holds both.
  virtual String concat(const char16_t* other) const = 0;
  virtual String concat(const char* other) const = 0;
  virtual String concat(const IString& other) const = 0;

  // A new string with every occurrence of `what`, found left to right,
  // replaced by `with`. An empty `what` matches nothing.
  virtual String replace(const IString& what, const IString& with) const = 0;

  // True only for the null string, which stands for an absent value.
  virtual bool isNull() const = 0;
  virtual std::uint32_t getEncodingId() const = 0;
  virtual bool hasEncoding(std::uint32_t encodingId) const = 0;
  virtual const P<ICharEncoding>& getEncoding() const = 0;
  // Characters (code points), kept by the string, so no scan is needed.
  virtual std::int32_t length() const = 0;
  virtual bool isEmpty() const = 0;
  // True when an encoded NUL character follows the text in its buffer.
  virtual bool isTerminated() const = 0;
  // A new string with a copy of the text in the same encoding.
  virtual String copy() const = 0;
  virtual const std::uint8_t* data() const = 0;
  virtual std::int32_t byteLength() const = 0;
};

}  // namespace lumo
