// The one string implementation, CString, and its fixed-encoding forms:
// CLatin1String, CWCharString (UTF-16), CUTF8String, CUTF32String, CCPString,
// and TNullString, the null string of each.
//
//   lumo::String borrowed = lumo::make<lumo::CWCharString>(buffer, 2 * n, -1,
//                                                           lumo::StringMode::kBorrow);
#pragma once

#include <cstdint>

#include "foundation/ICharEncoding.h"
#include "foundation/IString.h"
#include "foundation/Object.h"
#include "foundation/Singleton.h"
#include "foundation/String.h"

namespace lumo {

enum class StringMode : std::int32_t {
  // The text is copied into a new buffer with an encoded NUL behind it.
  kCopy = 0,
  // The string takes the caller's buffer (from CString::allocate) and frees it.
  kAdopt = 1,
  // The string uses the caller's buffer, which the caller keeps alive.
  kBorrow = 2,
};

class CString : public CObject, public IString {
 public:
  // A byte length of -1 means the data is NUL-terminated and is measured;
  // a character count of -1 means it is counted. A null encoding is Latin-1.
  CString(const void* data, std::int32_t byteLength, std::int32_t charCount, bool terminated,
          P<ICharEncoding> encoding = nullptr, StringMode mode = StringMode::kCopy);
  // Copies the text, in the same encoding.
  CString(const CString& other);
  CString& operator=(const CString&) = delete;

  // A buffer that a string in kAdopt mode can take over.
  static std::uint8_t* allocate(std::int32_t bytes);

  // `text` in `encoding`. Characters the encoding cannot hold become "?",
  // or are left out when "?" cannot be written either.
  static String convert(const IString& text, const P<ICharEncoding>& encoding);

  std::int32_t compareTo(const IComparable& other) const override;
  std::int32_t compare(const IString& other, std::int32_t startIndex,
                       std::int32_t maxCount) const override;
  String concat(const char16_t* other) const override;
  String concat(const char* other) const override;
  String concat(const IString& other) const override;
  String replace(const IString& what, const IString& with) const override;
  bool isNull() const override { return false; }
  std::uint32_t getEncodingId() const override { return encoding->getId(); }
  bool hasEncoding(std::uint32_t encodingId) const override { return encoding->getId() == encodingId; }
  const P<ICharEncoding>& getEncoding() const override { return encoding; }
  std::int32_t length() const override { return chars; }
  bool isEmpty() const override { return chars == 0; }
  bool isTerminated() const override { return terminated; }
  String copy() const override;
  const std::uint8_t* data() const override { return text; }
  std::int32_t byteLength() const override { return bytes; }

 protected:
  // Marks the constructors of the null strings: empty, borrowed, terminated.
  struct NullText {};
  CString(NullText, P<ICharEncoding> encoding);
  ~CString() override;

 private:
  const std::uint8_t* text = nullptr;
  std::int32_t bytes = 0;
  bool terminated = false;
  bool ownsData = false;
  P<ICharEncoding> encoding;
  std::int32_t chars = 0;
};

// Latin-1 text, one byte per character: `length` is bytes and characters.
class CLatin1String : public CString {
 public:
  explicit CLatin1String(const char* data, std::int32_t length = -1,
                         StringMode mode = StringMode::kCopy);

 protected:
  explicit CLatin1String(NullText tag) : CString(tag, GetLatin1CharEncoding()) {}
};

// UTF-16 text.
class CWCharString : public CString {
 public:
  explicit CWCharString(const char16_t* data, std::int32_t byteLength = -1, std::int32_t charCount = -1,
                        StringMode mode = StringMode::kCopy);

 protected:
  explicit CWCharString(NullText tag) : CString(tag, GetUTF16CharEncoding()) {}
};

class CUTF8String : public CString {
 public:
  explicit CUTF8String(const std::uint8_t* data, std::int32_t byteLength = -1,
                       std::int32_t charCount = -1, StringMode mode = StringMode::kCopy);

 protected:
  explicit CUTF8String(NullText tag) : CString(tag, GetUTF8CharEncoding()) {}
};

class CUTF32String : public CString {
 public:
  explicit CUTF32String(const std::uint32_t* data, std::int32_t byteLength = -1,
                        std::int32_t charCount = -1, StringMode mode = StringMode::kCopy);

 protected:
  explicit CUTF32String(NullText tag) : CString(tag, GetUTF32CharEncoding()) {}
};

// Text in the process's multibyte code page.
class CCPString : public CString {
 public:
  explicit CCPString(const std::uint8_t* data, std::int32_t byteLength = -1,
                     std::int32_t charCount = -1, StringMode mode = StringMode::kCopy);

 protected:
  explicit CCPString(NullText tag) : CString(tag, GetCPCharEncoding()) {}
};

// The null string of one string class: empty text that answers isNull.
// Instances: (char, CLatin1String), (char16_t, CWCharString),
// (std::uint8_t, CUTF8String), (std::uint32_t, CUTF32String),
// (std::uint8_t, CCPString).
template <class Char, class Base>
class TNullString final : public Base {
 public:
  TNullString() : Base(typename Base::NullText{}) {}
  bool isNull() const override { return true; }

  static const P<IString>& instance() { return StaticSingleton<IString, &makeInstance>(); }

 private:
  static P<IString> makeInstance() { return make<TNullString>(); }
  ~TNullString() override = default;
};

}  // namespace lumo
