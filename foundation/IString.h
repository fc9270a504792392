// The interface of the library's immutable strings: encoded bytes plus the
// encoding that reads them, so strings of different encodings compare,
// search and combine with each other.
//
//   lumo::StringPosition at{0, 0};
//   while (!at.isNone()) fields.add(line->nextToken(at, u','));
//
// Most operations take the other text in three forms: NUL-terminated
// char16_t text read as UTF-16, NUL-terminated char text read as Latin-1, or
// another IString. Many take the start as a StringPosition or as a character
// index, and come in a case-sensitive and a NoCase form; NoCase compares the
// simple lower-case mappings of the code points (CaseTable.h).
//
// The "Any" operations take either a list of texts (a NUL-terminated array of
// char16_t or char texts, or an IConstArray of strings) or a set of code
// points given as a text (every code point of it is one member). An element
// of an IConstArray that is no string, and an empty text, match nothing.
//
// Out-of-range indexes and positions never read outside the text: searches
// answer the no-position (-1, -1), code points read there are 0, results are
// empty. Backward iteration and backward searches need an encoding that can
// decode backwards; code-page strings raise CMethodNotImplementedError.
#pragma once

#include <cstdint>

#include "foundation/IComparable.h"
#include "foundation/Pointer.h"

namespace lumo {

// A place in a string: character index and byte offset. (-1, -1) is no place.
struct StringPosition {
  std::int32_t index = 0;
  std::int32_t offset = 0;

  static constexpr StringPosition none() { return {-1, -1}; }
  constexpr bool isNone() const { return index < 0; }
  friend constexpr bool operator==(const StringPosition&, const StringPosition&) = default;
};

// A position found by an "Any" search, with the number of the list's text
// (or the set's code point) that was found there; -1 with no position.
struct StringMatch {
  StringPosition position = StringPosition::none();
  std::int32_t which = -1;

  friend constexpr bool operator==(const StringMatch&, const StringMatch&) = default;
};

// Marks the charAt forms that test the range first.
enum class RangeTested { kYes };

class IString : public virtual IComparable {
 public:
  // Character index to position; -1 and indexes beyond the end give (-1, -1).
  virtual StringPosition makePosition(std::int32_t index) const = 0;
  // The position `delta` characters away; (-1, -1) when that leaves the text.
  virtual StringPosition movePosition(StringPosition at, std::int32_t delta) const = 0;
  virtual bool canIterateBackwards() const = 0;
  // The code point at (next) or before (previous) `at`, moving `at` past it;
  // 0 at the end (start), where `at` stays.
  virtual CodePoint nextChar(StringPosition& at) const = 0;
  virtual CodePoint previousChar(StringPosition& at) const = 0;
  // The code point at an index or position; 0 outside the text. The
  // range-tested forms also refuse a position whose index is outside.
  virtual CodePoint charAt(std::int32_t index) const = 0;
  virtual CodePoint charAt(StringPosition at) const = 0;
  virtual CodePoint charAt(std::int32_t index, RangeTested) const = 0;
  virtual CodePoint charAt(StringPosition at, RangeTested) const = 0;
  // Equal code points give equal hashes whatever the encodings.
  virtual std::uint32_t hashCode() const = 0;

  // This string from `start` against the other text, at most `maxCount`
  // characters (-1: no limit), in plain code point order: -1, 0 or 1.
  virtual std::int32_t compare(const char16_t* other, StringPosition start, std::int32_t maxCount = -1) const = 0;
  virtual std::int32_t compare(const char16_t* other, std::int32_t start = 0, std::int32_t maxCount = -1) const = 0;
  virtual std::int32_t compare(const char* other, StringPosition start, std::int32_t maxCount = -1) const = 0;
  virtual std::int32_t compare(const char* other, std::int32_t start = 0, std::int32_t maxCount = -1) const = 0;
  virtual std::int32_t compare(const IString& other, StringPosition start, std::int32_t maxCount = -1) const = 0;
  virtual std::int32_t compare(const IString& other, std::int32_t start = 0, std::int32_t maxCount = -1) const = 0;
  virtual std::int32_t compareNoCase(const char16_t* other, StringPosition start, std::int32_t maxCount = -1) const = 0;
  virtual std::int32_t compareNoCase(const char16_t* other, std::int32_t start = 0,
                                     std::int32_t maxCount = -1) const = 0;
  virtual std::int32_t compareNoCase(const char* other, StringPosition start, std::int32_t maxCount = -1) const = 0;
  virtual std::int32_t compareNoCase(const char* other, std::int32_t start = 0, std::int32_t maxCount = -1) const = 0;
  virtual std::int32_t compareNoCase(const IString& other, StringPosition start, std::int32_t maxCount = -1) const = 0;
  virtual std::int32_t compareNoCase(const IString& other, std::int32_t start = 0,
                                     std::int32_t maxCount = -1) const = 0;

  // This string from `start` against the other text in the collation order
  // of the process locale: negative, 0 or positive.
  virtual std::int32_t collate(const char16_t* other, StringPosition start) const = 0;
  virtual std::int32_t collate(const char16_t* other, std::int32_t start = 0) const = 0;
  virtual std::int32_t collate(const char* other, StringPosition start) const = 0;
  virtual std::int32_t collate(const char* other, std::int32_t start = 0) const = 0;
  virtual std::int32_t collate(const IString& other, StringPosition start) const = 0;
  virtual std::int32_t collate(const IString& other, std::int32_t start = 0) const = 0;

  // The rest of this string from `start` equals the other text; with a
  // maximum, their first `maxCount` characters are equal.
  virtual bool matchesAt(const char16_t* other, StringPosition start, std::int32_t maxCount = -1) const = 0;
  virtual bool matchesAt(const char16_t* other, std::int32_t start = 0, std::int32_t maxCount = -1) const = 0;
  virtual bool matchesAt(const char* other, StringPosition start, std::int32_t maxCount = -1) const = 0;
  virtual bool matchesAt(const char* other, std::int32_t start = 0, std::int32_t maxCount = -1) const = 0;
  virtual bool matchesAt(const IString& other, StringPosition start, std::int32_t maxCount = -1) const = 0;
  virtual bool matchesAt(const IString& other, std::int32_t start = 0, std::int32_t maxCount = -1) const = 0;
  virtual bool matchesAtNoCase(const char16_t* other, StringPosition start, std::int32_t maxCount = -1) const = 0;
  virtual bool matchesAtNoCase(const char16_t* other, std::int32_t start = 0, std::int32_t maxCount = -1) const = 0;
  virtual bool matchesAtNoCase(const char* other, StringPosition start, std::int32_t maxCount = -1) const = 0;
  virtual bool matchesAtNoCase(const char* other, std::int32_t start = 0, std::int32_t maxCount = -1) const = 0;
  virtual bool matchesAtNoCase(const IString& other, StringPosition start, std::int32_t maxCount = -1) const = 0;
  virtual bool matchesAtNoCase(const IString& other, std::int32_t start = 0, std::int32_t maxCount = -1) const = 0;

  // The other text occurs at `start`.
  virtual bool startsWith(const char16_t* other, StringPosition start) const = 0;
  virtual bool startsWith(const char16_t* other, std::int32_t start = 0) const = 0;
  virtual bool startsWith(const char* other, StringPosition start) const = 0;
  virtual bool startsWith(const char* other, std::int32_t start = 0) const = 0;
  virtual bool startsWith(const IString& other, StringPosition start) const = 0;
  virtual bool startsWith(const IString& other, std::int32_t start = 0) const = 0;
  virtual bool startsWithNoCase(const char16_t* other, StringPosition start) const = 0;
  virtual bool startsWithNoCase(const char16_t* other, std::int32_t start = 0) const = 0;
  virtual bool startsWithNoCase(const char* other, StringPosition start) const = 0;
  virtual bool startsWithNoCase(const char* other, std::int32_t start = 0) const = 0;
  virtual bool startsWithNoCase(const IString& other, StringPosition start) const = 0;
  virtual bool startsWithNoCase(const IString& other, std::int32_t start = 0) const = 0;

  virtual bool endsWith(const char16_t* other) const = 0;
  virtual bool endsWith(const char* other) const = 0;
  virtual bool endsWith(const IString& other) const = 0;
  virtual bool endsWithNoCase(const char16_t* other) const = 0;
  virtual bool endsWithNoCase(const char* other) const = 0;
  virtual bool endsWithNoCase(const IString& other) const = 0;

  // The first place at or after `start` where a code point or text occurs.
  virtual StringPosition find(CodePoint c, StringPosition start) const = 0;
  virtual StringPosition find(CodePoint c, std::int32_t start = 0) const = 0;
  virtual StringPosition find(const char16_t* other, StringPosition start) const = 0;
  virtual StringPosition find(const char16_t* other, std::int32_t start = 0) const = 0;
  virtual StringPosition find(const char* other, StringPosition start) const = 0;
  virtual StringPosition find(const char* other, std::int32_t start = 0) const = 0;
  virtual StringPosition find(const IString& other, StringPosition start) const = 0;
  virtual StringPosition find(const IString& other, std::int32_t start = 0) const = 0;
  virtual StringPosition findNoCase(CodePoint c, StringPosition start) const = 0;
  virtual StringPosition findNoCase(CodePoint c, std::int32_t start = 0) const = 0;
  virtual StringPosition findNoCase(const char16_t* other, StringPosition start) const = 0;
  virtual StringPosition findNoCase(const char16_t* other, std::int32_t start = 0) const = 0;
  virtual StringPosition findNoCase(const char* other, StringPosition start) const = 0;
  virtual StringPosition findNoCase(const char* other, std::int32_t start = 0) const = 0;
  virtual StringPosition findNoCase(const IString& other, StringPosition start) const = 0;
  virtual StringPosition findNoCase(const IString& other, std::int32_t start = 0) const = 0;

  // The first place at or after `start` where any text of a list, or any
  // code point of a set, occurs; where two occur at one place, the one
  // listed first.
  virtual StringMatch findAny(const char16_t* const* list, StringPosition start) const = 0;
  virtual StringMatch findAny(const char16_t* const* list, std::int32_t start = 0) const = 0;
  virtual StringMatch findAny(const char* const* list, StringPosition start) const = 0;
  virtual StringMatch findAny(const char* const* list, std::int32_t start = 0) const = 0;
  virtual StringMatch findAny(const IConstArray& list, StringPosition start) const = 0;
  virtual StringMatch findAny(const IConstArray& list, std::int32_t start = 0) const = 0;
  virtual StringMatch findAny(const char16_t* set, StringPosition start) const = 0;
  virtual StringMatch findAny(const char16_t* set, std::int32_t start = 0) const = 0;
  virtual StringMatch findAny(const char* set, StringPosition start) const = 0;
  virtual StringMatch findAny(const char* set, std::int32_t start = 0) const = 0;
  virtual StringMatch findAny(const IString& set, StringPosition start) const = 0;
  virtual StringMatch findAny(const IString& set, std::int32_t start = 0) const = 0;
  virtual StringMatch findAnyNoCase(const char16_t* const* list, StringPosition start) const = 0;
  virtual StringMatch findAnyNoCase(const char16_t* const* list, std::int32_t start = 0) const = 0;
  virtual StringMatch findAnyNoCase(const char* const* list, StringPosition start) const = 0;
  virtual StringMatch findAnyNoCase(const char* const* list, std::int32_t start = 0) const = 0;
  virtual StringMatch findAnyNoCase(const IConstArray& list, StringPosition start) const = 0;
  virtual StringMatch findAnyNoCase(const IConstArray& list, std::int32_t start = 0) const = 0;
  virtual StringMatch findAnyNoCase(const char16_t* set, StringPosition start) const = 0;
  virtual StringMatch findAnyNoCase(const char16_t* set, std::int32_t start = 0) const = 0;
  virtual StringMatch findAnyNoCase(const char* set, StringPosition start) const = 0;
  virtual StringMatch findAnyNoCase(const char* set, std::int32_t start = 0) const = 0;
  virtual StringMatch findAnyNoCase(const IString& set, StringPosition start) const = 0;
  virtual StringMatch findAnyNoCase(const IString& set, std::int32_t start = 0) const = 0;

  // The last occurrence that ends at or before `start` (-1: the end of the
  // text).
  virtual StringPosition findLast(const char16_t* other, StringPosition start) const = 0;
  virtual StringPosition findLast(const char16_t* other, std::int32_t start = -1) const = 0;
  virtual StringPosition findLast(const char* other, StringPosition start) const = 0;
  virtual StringPosition findLast(const char* other, std::int32_t start = -1) const = 0;
  virtual StringPosition findLast(const IString& other, StringPosition start) const = 0;
  virtual StringPosition findLast(const IString& other, std::int32_t start = -1) const = 0;
  virtual StringPosition findLast(CodePoint c, StringPosition start) const = 0;
  virtual StringPosition findLast(CodePoint c, std::int32_t start = -1) const = 0;
  virtual StringPosition findLastNoCase(const char16_t* other, StringPosition start) const = 0;
  virtual StringPosition findLastNoCase(const char16_t* other, std::int32_t start = -1) const = 0;
  virtual StringPosition findLastNoCase(const char* other, StringPosition start) const = 0;
  virtual StringPosition findLastNoCase(const char* other, std::int32_t start = -1) const = 0;
  virtual StringPosition findLastNoCase(const IString& other, StringPosition start) const = 0;
  virtual StringPosition findLastNoCase(const IString& other, std::int32_t start = -1) const = 0;
  virtual StringPosition findLastNoCase(CodePoint c, StringPosition start) const = 0;
  virtual StringPosition findLastNoCase(CodePoint c, std::int32_t start = -1) const = 0;

  virtual StringMatch findLastAny(const char16_t* const* list, StringPosition start) const = 0;
  virtual StringMatch findLastAny(const char16_t* const* list, std::int32_t start = -1) const = 0;
  virtual StringMatch findLastAny(const char* const* list, StringPosition start) const = 0;
  virtual StringMatch findLastAny(const char* const* list, std::int32_t start = -1) const = 0;
  virtual StringMatch findLastAny(const IConstArray& list, StringPosition start) const = 0;
  virtual StringMatch findLastAny(const IConstArray& list, std::int32_t start = -1) const = 0;
  virtual StringMatch findLastAny(const char16_t* set, StringPosition start) const = 0;
  virtual StringMatch findLastAny(const char16_t* set, std::int32_t start = -1) const = 0;
  virtual StringMatch findLastAny(const char* set, StringPosition start) const = 0;
  virtual StringMatch findLastAny(const char* set, std::int32_t start = -1) const = 0;
  virtual StringMatch findLastAny(const IString& set, StringPosition start) const = 0;
  virtual StringMatch findLastAny(const IString& set, std::int32_t start = -1) const = 0;
  virtual StringMatch findLastAnyNoCase(const char16_t* const* list, StringPosition start) const = 0;
  virtual StringMatch findLastAnyNoCase(const char16_t* const* list, std::int32_t start = -1) const = 0;
  virtual StringMatch findLastAnyNoCase(const char* const* list, StringPosition start) const = 0;
  virtual StringMatch findLastAnyNoCase(const char* const* list, std::int32_t start = -1) const = 0;
  virtual StringMatch findLastAnyNoCase(const IConstArray& list, StringPosition start) const = 0;
  virtual StringMatch findLastAnyNoCase(const IConstArray& list, std::int32_t start = -1) const = 0;
  virtual StringMatch findLastAnyNoCase(const char16_t* set, StringPosition start) const = 0;
  virtual StringMatch findLastAnyNoCase(const char16_t* set, std::int32_t start = -1) const = 0;
  virtual StringMatch findLastAnyNoCase(const char* set, StringPosition start) const = 0;
  virtual StringMatch findLastAnyNoCase(const char* set, std::int32_t start = -1) const = 0;
  virtual StringMatch findLastAnyNoCase(const IString& set, StringPosition start) const = 0;
  virtual StringMatch findLastAnyNoCase(const IString& set, std::int32_t start = -1) const = 0;

  // The text between two positions or indexes (an end of (-1, -1) or -1 is
  // the end of the text), sharing this string's bytes and keeping it alive.
  virtual String slice(StringPosition start, StringPosition end) const = 0;
  virtual String slice(std::int32_t start, std::int32_t end = -1) const = 0;

  // A new string with `count` characters at `start` (-1: the rest) replaced
  // by the other text; concat appends it. When a character of the other text
  // does not fit this string's encoding, the result is in a Unicode encoding
  // that holds both. A start outside the text gives the text unchanged.
  virtual String splice(StringPosition start, std::int32_t count, const char16_t* other) const = 0;
  virtual String splice(std::int32_t start, std::int32_t count, const char16_t* other) const = 0;
  virtual String splice(StringPosition start, std::int32_t count, const char* other) const = 0;
  virtual String splice(std::int32_t start, std::int32_t count, const char* other) const = 0;
  virtual String splice(StringPosition start, std::int32_t count, const IString& other) const = 0;
  virtual String splice(std::int32_t start, std::int32_t count, const IString& other) const = 0;
  virtual String splice(StringPosition start, std::int32_t count, CodePoint c) const = 0;
  virtual String splice(std::int32_t start, std::int32_t count, CodePoint c) const = 0;
  virtual String concat(const char16_t* other) const = 0;
  virtual String concat(const char* other) const = 0;
  virtual String concat(const IString& other) const = 0;
  virtual String concat(CodePoint c) const = 0;

  // The text from `at` up to the next separator, moving `at` behind it; the
  // rest of the text when there is none, and `at` becomes (-1, -1). From
  // (-1, -1) the result is the null string.
  virtual String nextToken(StringPosition& at, const char16_t* separator) const = 0;
  virtual String nextToken(StringPosition& at, const char* separator) const = 0;
  virtual String nextToken(StringPosition& at, const IString& separator) const = 0;
  virtual String nextToken(StringPosition& at, CodePoint separator) const = 0;
  virtual String nextTokenNoCase(StringPosition& at, const char16_t* separator) const = 0;
  virtual String nextTokenNoCase(StringPosition& at, const char* separator) const = 0;
  virtual String nextTokenNoCase(StringPosition& at, const IString& separator) const = 0;
  virtual String nextTokenNoCase(StringPosition& at, CodePoint separator) const = 0;

  // The same with a list of separator texts or a set of separator code points.
  virtual String nextTokenAny(StringPosition& at, const char16_t* const* list) const = 0;
  virtual String nextTokenAny(StringPosition& at, const char* const* list) const = 0;
  virtual String nextTokenAny(StringPosition& at, const IConstArray& list) const = 0;
  virtual String nextTokenAny(StringPosition& at, const char16_t* set) const = 0;
  virtual String nextTokenAny(StringPosition& at, const char* set) const = 0;
  virtual String nextTokenAny(StringPosition& at, const IString& set) const = 0;
  virtual String nextTokenAnyNoCase(StringPosition& at, const char16_t* const* list) const = 0;
  virtual String nextTokenAnyNoCase(StringPosition& at, const char* const* list) const = 0;
  virtual String nextTokenAnyNoCase(StringPosition& at, const IConstArray& list) const = 0;
  virtual String nextTokenAnyNoCase(StringPosition& at, const char16_t* set) const = 0;
  virtual String nextTokenAnyNoCase(StringPosition& at, const char* set) const = 0;
  virtual String nextTokenAnyNoCase(StringPosition& at, const IString& set) const = 0;

  // Occurrences that do not overlap, searching on behind each one.
  virtual std::int32_t count(const char16_t* other) const = 0;
  virtual std::int32_t count(const char* other) const = 0;
  virtual std::int32_t count(const IString& other) const = 0;
  virtual std::int32_t count(CodePoint c) const = 0;
  virtual std::int32_t countNoCase(const char16_t* other) const = 0;
  virtual std::int32_t countNoCase(const char* other) const = 0;
  virtual std::int32_t countNoCase(const IString& other) const = 0;
  virtual std::int32_t countNoCase(CodePoint c) const = 0;

  virtual std::int32_t countAny(const char16_t* const* list) const = 0;
  virtual std::int32_t countAny(const char* const* list) const = 0;
  virtual std::int32_t countAny(const IConstArray& list) const = 0;
  virtual std::int32_t countAny(const char16_t* set) const = 0;
  virtual std::int32_t countAny(const char* set) const = 0;
  virtual std::int32_t countAny(const IString& set) const = 0;
  virtual std::int32_t countAnyNoCase(const char16_t* const* list) const = 0;
  virtual std::int32_t countAnyNoCase(const char* const* list) const = 0;
  virtual std::int32_t countAnyNoCase(const IConstArray& list) const = 0;
  virtual std::int32_t countAnyNoCase(const char16_t* set) const = 0;
  virtual std::int32_t countAnyNoCase(const char* set) const = 0;
  virtual std::int32_t countAnyNoCase(const IString& set) const = 0;

  // The text without the code point `t` at both ends, at the left or at the
  // right end; the empty string when nothing else is left.
  virtual String trim(CodePoint t) const = 0;
  virtual String trimLeft(CodePoint t) const = 0;
  virtual String trimRight(CodePoint t) const = 0;
  virtual String trimNoCase(CodePoint t) const = 0;
  virtual String trimLeftNoCase(CodePoint t) const = 0;
  virtual String trimRightNoCase(CodePoint t) const = 0;

  // The same with every code point of a set.
  virtual String trimAny(const char16_t* set) const = 0;
  virtual String trimAny(const char* set) const = 0;
  virtual String trimAny(const IString& set) const = 0;
  virtual String trimAnyLeft(const char16_t* set) const = 0;
  virtual String trimAnyLeft(const char* set) const = 0;
  virtual String trimAnyLeft(const IString& set) const = 0;
  virtual String trimAnyRight(const char16_t* set) const = 0;
  virtual String trimAnyRight(const char* set) const = 0;
  virtual String trimAnyRight(const IString& set) const = 0;
  virtual String trimAnyNoCase(const char16_t* set) const = 0;
  virtual String trimAnyNoCase(const char* set) const = 0;
  virtual String trimAnyNoCase(const IString& set) const = 0;
  virtual String trimAnyLeftNoCase(const char16_t* set) const = 0;
  virtual String trimAnyLeftNoCase(const char* set) const = 0;
  virtual String trimAnyLeftNoCase(const IString& set) const = 0;
  virtual String trimAnyRightNoCase(const char16_t* set) const = 0;
  virtual String trimAnyRightNoCase(const char* set) const = 0;
  virtual String trimAnyRightNoCase(const IString& set) const = 0;

  // A new string with every occurrence, found left to right, replaced.
  virtual String replace(const char16_t* what, const char16_t* with) const = 0;
  virtual String replace(const char* what, const char* with) const = 0;
  virtual String replace(const IString& what, const IString& with) const = 0;
  virtual String replace(CodePoint what, CodePoint with) const = 0;
  virtual String replaceNoCase(const char16_t* what, const char16_t* with) const = 0;
  virtual String replaceNoCase(const char* what, const char* with) const = 0;
  virtual String replaceNoCase(const IString& what, const IString& with) const = 0;
  virtual String replaceNoCase(CodePoint what, CodePoint with) const = 0;

  // A new string with every occurrence of any text of a list, or any code
  // point of a set, replaced by one text.
  virtual String replaceAny(const char16_t* const* list, const char16_t* with) const = 0;
  virtual String replaceAny(const char16_t* const* list, const char* with) const = 0;
  virtual String replaceAny(const char16_t* const* list, const IString& with) const = 0;
  virtual String replaceAny(const char* const* list, const char16_t* with) const = 0;
  virtual String replaceAny(const char* const* list, const char* with) const = 0;
  virtual String replaceAny(const char* const* list, const IString& with) const = 0;
  virtual String replaceAny(const IConstArray& list, const char16_t* with) const = 0;
  virtual String replaceAny(const IConstArray& list, const char* with) const = 0;
  virtual String replaceAny(const IConstArray& list, const IString& with) const = 0;
  virtual String replaceAny(const char16_t* set, const char16_t* with) const = 0;
  virtual String replaceAny(const char16_t* set, const char* with) const = 0;
  virtual String replaceAny(const char16_t* set, const IString& with) const = 0;
  virtual String replaceAny(const char* set, const char16_t* with) const = 0;
  virtual String replaceAny(const char* set, const char* with) const = 0;
  virtual String replaceAny(const char* set, const IString& with) const = 0;
  virtual String replaceAny(const IString& set, const char16_t* with) const = 0;
  virtual String replaceAny(const IString& set, const char* with) const = 0;
  virtual String replaceAny(const IString& set, const IString& with) const = 0;

  // Every code point through its simple lower- or upper-case mapping.
  virtual String toLowerCase() const = 0;
  virtual String toUpperCase() const = 0;

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

// The value of the digits at the start of `text` in `base` (2 to 36; letters
// of either case are the digits from 10 on), read up to the first code point
// that is no digit of the base, with no sign and no white space, in 32-bit
// arithmetic without an overflow test; `consumed` receives the number of
// digits read. CParseError when there is none.
std::int32_t parseIntPrefix(const String& text, std::int32_t base, std::int32_t& consumed);
// The same for the whole text: CParseError when anything follows the digits.
std::int32_t parseInt(const String& text, std::int32_t base);

}  // namespace lumo
