// The one string implementation, CString, and its fixed-encoding forms:
// CLatin1String, CWCharString (UTF-16), CUTF8String, CUTF32String, CCPString,
// and TNullString, the null string of each. CStringSlice.h has the slices.
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

  // IString, in its order.
  StringPosition makePosition(std::int32_t index) const override;
  StringPosition movePosition(StringPosition at, std::int32_t delta) const override;
  bool canIterateBackwards() const override;
  CodePoint nextChar(StringPosition& at) const override;
  CodePoint previousChar(StringPosition& at) const override;
  CodePoint charAt(std::int32_t index) const override;
  CodePoint charAt(StringPosition at) const override;
  CodePoint charAt(std::int32_t index, RangeTested) const override;
  CodePoint charAt(StringPosition at, RangeTested) const override;
  std::uint32_t hashCode() const override;
  std::int32_t compare(const char16_t* other, StringPosition start, std::int32_t maxCount = -1) const override;
  std::int32_t compare(const char16_t* other, std::int32_t start = 0, std::int32_t maxCount = -1) const override;
  std::int32_t compare(const char* other, StringPosition start, std::int32_t maxCount = -1) const override;
  std::int32_t compare(const char* other, std::int32_t start = 0, std::int32_t maxCount = -1) const override;
  std::int32_t compare(const IString& other, StringPosition start, std::int32_t maxCount = -1) const override;
  std::int32_t compare(const IString& other, std::int32_t start = 0, std::int32_t maxCount = -1) const override;
  std::int32_t compareNoCase(const char16_t* other, StringPosition start, std::int32_t maxCount = -1) const override;
  std::int32_t compareNoCase(const char16_t* other, std::int32_t start = 0, std::int32_t maxCount = -1) const override;
  std::int32_t compareNoCase(const char* other, StringPosition start, std::int32_t maxCount = -1) const override;
  std::int32_t compareNoCase(const char* other, std::int32_t start = 0, std::int32_t maxCount = -1) const override;
  std::int32_t compareNoCase(const IString& other, StringPosition start, std::int32_t maxCount = -1) const override;
  std::int32_t compareNoCase(const IString& other, std::int32_t start = 0, std::int32_t maxCount = -1) const override;
  std::int32_t collate(const char16_t* other, StringPosition start) const override;
  std::int32_t collate(const char16_t* other, std::int32_t start = 0) const override;
  std::int32_t collate(const char* other, StringPosition start) const override;
  std::int32_t collate(const char* other, std::int32_t start = 0) const override;
  std::int32_t collate(const IString& other, StringPosition start) const override;
  std::int32_t collate(const IString& other, std::int32_t start = 0) const override;
  bool matchesAt(const char16_t* other, StringPosition start, std::int32_t maxCount = -1) const override;
  bool matchesAt(const char16_t* other, std::int32_t start = 0, std::int32_t maxCount = -1) const override;
  bool matchesAt(const char* other, StringPosition start, std::int32_t maxCount = -1) const override;
  bool matchesAt(const char* other, std::int32_t start = 0, std::int32_t maxCount = -1) const override;
  bool matchesAt(const IString& other, StringPosition start, std::int32_t maxCount = -1) const override;
  bool matchesAt(const IString& other, std::int32_t start = 0, std::int32_t maxCount = -1) const override;
  bool matchesAtNoCase(const char16_t* other, StringPosition start, std::int32_t maxCount = -1) const override;
  bool matchesAtNoCase(const char16_t* other, std::int32_t start = 0, std::int32_t maxCount = -1) const override;
  bool matchesAtNoCase(const char* other, StringPosition start, std::int32_t maxCount = -1) const override;
  bool matchesAtNoCase(const char* other, std::int32_t start = 0, std::int32_t maxCount = -1) const override;
  bool matchesAtNoCase(const IString& other, StringPosition start, std::int32_t maxCount = -1) const override;
  bool matchesAtNoCase(const IString& other, std::int32_t start = 0, std::int32_t maxCount = -1) const override;
  bool startsWith(const char16_t* other, StringPosition start) const override;
  bool startsWith(const char16_t* other, std::int32_t start = 0) const override;
  bool startsWith(const char* other, StringPosition start) const override;
  bool startsWith(const char* other, std::int32_t start = 0) const override;
  bool startsWith(const IString& other, StringPosition start) const override;
  bool startsWith(const IString& other, std::int32_t start = 0) const override;
  bool startsWithNoCase(const char16_t* other, StringPosition start) const override;
  bool startsWithNoCase(const char16_t* other, std::int32_t start = 0) const override;
  bool startsWithNoCase(const char* other, StringPosition start) const override;
  bool startsWithNoCase(const char* other, std::int32_t start = 0) const override;
  bool startsWithNoCase(const IString& other, StringPosition start) const override;
  bool startsWithNoCase(const IString& other, std::int32_t start = 0) const override;
  bool endsWith(const char16_t* other) const override;
  bool endsWith(const char* other) const override;
  bool endsWith(const IString& other) const override;
  bool endsWithNoCase(const char16_t* other) const override;
  bool endsWithNoCase(const char* other) const override;
  bool endsWithNoCase(const IString& other) const override;
  StringPosition find(CodePoint c, StringPosition start) const override;
  StringPosition find(CodePoint c, std::int32_t start = 0) const override;
  StringPosition find(const char16_t* other, StringPosition start) const override;
  StringPosition find(const char16_t* other, std::int32_t start = 0) const override;
  StringPosition find(const char* other, StringPosition start) const override;
  StringPosition find(const char* other, std::int32_t start = 0) const override;
  StringPosition find(const IString& other, StringPosition start) const override;
  StringPosition find(const IString& other, std::int32_t start = 0) const override;
  StringPosition findNoCase(CodePoint c, StringPosition start) const override;
  StringPosition findNoCase(CodePoint c, std::int32_t start = 0) const override;
  StringPosition findNoCase(const char16_t* other, StringPosition start) const override;
  StringPosition findNoCase(const char16_t* other, std::int32_t start = 0) const override;
  StringPosition findNoCase(const char* other, StringPosition start) const override;
  StringPosition findNoCase(const char* other, std::int32_t start = 0) const override;
  StringPosition findNoCase(const IString& other, StringPosition start) const override;
  StringPosition findNoCase(const IString& other, std::int32_t start = 0) const override;
  StringMatch findAny(const char16_t* const* list, StringPosition start) const override;
  StringMatch findAny(const char16_t* const* list, std::int32_t start = 0) const override;
  StringMatch findAny(const char* const* list, StringPosition start) const override;
  StringMatch findAny(const char* const* list, std::int32_t start = 0) const override;
  StringMatch findAny(const IConstArray& list, StringPosition start) const override;
  StringMatch findAny(const IConstArray& list, std::int32_t start = 0) const override;
  StringMatch findAny(const char16_t* set, StringPosition start) const override;
  StringMatch findAny(const char16_t* set, std::int32_t start = 0) const override;
  StringMatch findAny(const char* set, StringPosition start) const override;
  StringMatch findAny(const char* set, std::int32_t start = 0) const override;
  StringMatch findAny(const IString& set, StringPosition start) const override;
  StringMatch findAny(const IString& set, std::int32_t start = 0) const override;
  StringMatch findAnyNoCase(const char16_t* const* list, StringPosition start) const override;
  StringMatch findAnyNoCase(const char16_t* const* list, std::int32_t start = 0) const override;
  StringMatch findAnyNoCase(const char* const* list, StringPosition start) const override;
  StringMatch findAnyNoCase(const char* const* list, std::int32_t start = 0) const override;
  StringMatch findAnyNoCase(const IConstArray& list, StringPosition start) const override;
  StringMatch findAnyNoCase(const IConstArray& list, std::int32_t start = 0) const override;
  StringMatch findAnyNoCase(const char16_t* set, StringPosition start) const override;
  StringMatch findAnyNoCase(const char16_t* set, std::int32_t start = 0) const override;
  StringMatch findAnyNoCase(const char* set, StringPosition start) const override;
  StringMatch findAnyNoCase(const char* set, std::int32_t start = 0) const override;
  StringMatch findAnyNoCase(const IString& set, StringPosition start) const override;
  StringMatch findAnyNoCase(const IString& set, std::int32_t start = 0) const override;
  StringPosition findLast(const char16_t* other, StringPosition start) const override;
  StringPosition findLast(const char16_t* other, std::int32_t start = -1) const override;
  StringPosition findLast(const char* other, StringPosition start) const override;
  StringPosition findLast(const char* other, std::int32_t start = -1) const override;
  StringPosition findLast(const IString& other, StringPosition start) const override;
  StringPosition findLast(const IString& other, std::int32_t start = -1) const override;
  StringPosition findLast(CodePoint c, StringPosition start) const override;
  StringPosition findLast(CodePoint c, std::int32_t start = -1) const override;
  StringPosition findLastNoCase(const char16_t* other, StringPosition start) const override;
  StringPosition findLastNoCase(const char16_t* other, std::int32_t start = -1) const override;
  StringPosition findLastNoCase(const char* other, StringPosition start) const override;
  StringPosition findLastNoCase(const char* other, std::int32_t start = -1) const override;
  StringPosition findLastNoCase(const IString& other, StringPosition start) const override;
  StringPosition findLastNoCase(const IString& other, std::int32_t start = -1) const override;
  StringPosition findLastNoCase(CodePoint c, StringPosition start) const override;
  StringPosition findLastNoCase(CodePoint c, std::int32_t start = -1) const override;
  StringMatch findLastAny(const char16_t* const* list, StringPosition start) const override;
  StringMatch findLastAny(const char16_t* const* list, std::int32_t start = -1) const override;
  StringMatch findLastAny(const char* const* list, StringPosition start) const override;
  StringMatch findLastAny(const char* const* list, std::int32_t start = -1) const override;
  StringMatch findLastAny(const IConstArray& list, StringPosition start) const override;
  StringMatch findLastAny(const IConstArray& list, std::int32_t start = -1) const override;
  StringMatch findLastAny(const char16_t* set, StringPosition start) const override;
  StringMatch findLastAny(const char16_t* set, std::int32_t start = -1) const override;
  StringMatch findLastAny(const char* set, StringPosition start) const override;
  StringMatch findLastAny(const char* set, std::int32_t start = -1) const override;
  StringMatch findLastAny(const IString& set, StringPosition start) const override;
  StringMatch findLastAny(const IString& set, std::int32_t start = -1) const override;
  StringMatch findLastAnyNoCase(const char16_t* const* list, StringPosition start) const override;
  StringMatch findLastAnyNoCase(const char16_t* const* list, std::int32_t start = -1) const override;
  StringMatch findLastAnyNoCase(const char* const* list, StringPosition start) const override;
  StringMatch findLastAnyNoCase(const char* const* list, std::int32_t start = -1) const override;
  StringMatch findLastAnyNoCase(const IConstArray& list, StringPosition start) const override;
  StringMatch findLastAnyNoCase(const IConstArray& list, std::int32_t start = -1) const override;
  StringMatch findLastAnyNoCase(const char16_t* set, StringPosition start) const override;
  StringMatch findLastAnyNoCase(const char16_t* set, std::int32_t start = -1) const override;
  StringMatch findLastAnyNoCase(const char* set, StringPosition start) const override;
  StringMatch findLastAnyNoCase(const char* set, std::int32_t start = -1) const override;
  StringMatch findLastAnyNoCase(const IString& set, StringPosition start) const override;
  StringMatch findLastAnyNoCase(const IString& set, std::int32_t start = -1) const override;
  String slice(StringPosition start, StringPosition end) const override;
  String slice(std::int32_t start, std::int32_t end = -1) const override;
  String splice(StringPosition start, std::int32_t count, const char16_t* other) const override;
  String splice(std::int32_t start, std::int32_t count, const char16_t* other) const override;
  String splice(StringPosition start, std::int32_t count, const char* other) const override;
  String splice(std::int32_t start, std::int32_t count, const char* other) const override;
  String splice(StringPosition start, std::int32_t count, const IString& other) const override;
  String splice(std::int32_t start, std::int32_t count, const IString& other) const override;
  String splice(StringPosition start, std::int32_t count, CodePoint c) const override;
  String splice(std::int32_t start, std::int32_t count, CodePoint c) const override;
  String concat(const char16_t* other) const override;
  String concat(const char* other) const override;
  String concat(const IString& other) const override;
  String concat(CodePoint c) const override;
  String nextToken(StringPosition& at, const char16_t* separator) const override;
  String nextToken(StringPosition& at, const char* separator) const override;
  String nextToken(StringPosition& at, const IString& separator) const override;
  String nextToken(StringPosition& at, CodePoint separator) const override;
  String nextTokenNoCase(StringPosition& at, const char16_t* separator) const override;
  String nextTokenNoCase(StringPosition& at, const char* separator) const override;
  String nextTokenNoCase(StringPosition& at, const IString& separator) const override;
  String nextTokenNoCase(StringPosition& at, CodePoint separator) const override;
  String nextTokenAny(StringPosition& at, const char16_t* const* list) const override;
  String nextTokenAny(StringPosition& at, const char* const* list) const override;
  String nextTokenAny(StringPosition& at, const IConstArray& list) const override;
  String nextTokenAny(StringPosition& at, const char16_t* set) const override;
  String nextTokenAny(StringPosition& at, const char* set) const override;
  String nextTokenAny(StringPosition& at, const IString& set) const override;
  String nextTokenAnyNoCase(StringPosition& at, const char16_t* const* list) const override;
  String nextTokenAnyNoCase(StringPosition& at, const char* const* list) const override;
  String nextTokenAnyNoCase(StringPosition& at, const IConstArray& list) const override;
  String nextTokenAnyNoCase(StringPosition& at, const char16_t* set) const override;
  String nextTokenAnyNoCase(StringPosition& at, const char* set) const override;
  String nextTokenAnyNoCase(StringPosition& at, const IString& set) const override;
  std::int32_t count(const char16_t* other) const override;
  std::int32_t count(const char* other) const override;
  std::int32_t count(const IString& other) const override;
  std::int32_t count(CodePoint c) const override;
  std::int32_t countNoCase(const char16_t* other) const override;
  std::int32_t countNoCase(const char* other) const override;
  std::int32_t countNoCase(const IString& other) const override;
  std::int32_t countNoCase(CodePoint c) const override;
  std::int32_t countAny(const char16_t* const* list) const override;
  std::int32_t countAny(const char* const* list) const override;
  std::int32_t countAny(const IConstArray& list) const override;
  std::int32_t countAny(const char16_t* set) const override;
  std::int32_t countAny(const char* set) const override;
  std::int32_t countAny(const IString& set) const override;
  std::int32_t countAnyNoCase(const char16_t* const* list) const override;
  std::int32_t countAnyNoCase(const char* const* list) const override;
  std::int32_t countAnyNoCase(const IConstArray& list) const override;
  std::int32_t countAnyNoCase(const char16_t* set) const override;
  std::int32_t countAnyNoCase(const char* set) const override;
  std::int32_t countAnyNoCase(const IString& set) const override;
  String trim(CodePoint t) const override;
  String trimLeft(CodePoint t) const override;
  String trimRight(CodePoint t) const override;
  String trimNoCase(CodePoint t) const override;
  String trimLeftNoCase(CodePoint t) const override;
  String trimRightNoCase(CodePoint t) const override;
  String trimAny(const char16_t* set) const override;
  String trimAny(const char* set) const override;
  String trimAny(const IString& set) const override;
  String trimAnyLeft(const char16_t* set) const override;
  String trimAnyLeft(const char* set) const override;
  String trimAnyLeft(const IString& set) const override;
  String trimAnyRight(const char16_t* set) const override;
  String trimAnyRight(const char* set) const override;
  String trimAnyRight(const IString& set) const override;
  String trimAnyNoCase(const char16_t* set) const override;
  String trimAnyNoCase(const char* set) const override;
  String trimAnyNoCase(const IString& set) const override;
  String trimAnyLeftNoCase(const char16_t* set) const override;
  String trimAnyLeftNoCase(const char* set) const override;
  String trimAnyLeftNoCase(const IString& set) const override;
  String trimAnyRightNoCase(const char16_t* set) const override;
  String trimAnyRightNoCase(const char* set) const override;
  String trimAnyRightNoCase(const IString& set) const override;
  String replace(const char16_t* what, const char16_t* with) const override;
  String replace(const char* what, const char* with) const override;
  String replace(const IString& what, const IString& with) const override;
  String replace(CodePoint what, CodePoint with) const override;
  String replaceNoCase(const char16_t* what, const char16_t* with) const override;
  String replaceNoCase(const char* what, const char* with) const override;
  String replaceNoCase(const IString& what, const IString& with) const override;
  String replaceNoCase(CodePoint what, CodePoint with) const override;
  String replaceAny(const char16_t* const* list, const char16_t* with) const override;
  String replaceAny(const char16_t* const* list, const char* with) const override;
  String replaceAny(const char16_t* const* list, const IString& with) const override;
  String replaceAny(const char* const* list, const char16_t* with) const override;
  String replaceAny(const char* const* list, const char* with) const override;
  String replaceAny(const char* const* list, const IString& with) const override;
  String replaceAny(const IConstArray& list, const char16_t* with) const override;
  String replaceAny(const IConstArray& list, const char* with) const override;
  String replaceAny(const IConstArray& list, const IString& with) const override;
  String replaceAny(const char16_t* set, const char16_t* with) const override;
  String replaceAny(const char16_t* set, const char* with) const override;
  String replaceAny(const char16_t* set, const IString& with) const override;
  String replaceAny(const char* set, const char16_t* with) const override;
  String replaceAny(const char* set, const char* with) const override;
  String replaceAny(const char* set, const IString& with) const override;
  String replaceAny(const IString& set, const char16_t* with) const override;
  String replaceAny(const IString& set, const char* with) const override;
  String replaceAny(const IString& set, const IString& with) const override;
  String toLowerCase() const override;
  String toUpperCase() const override;
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
