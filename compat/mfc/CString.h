// The framework's wide string: a value type over UTF-16 text with the
// operations the shell uses. Unrelated to lumo::CString.
//
//   CString key = L"Software\\" ... ;   // written u"..." here
//   key.Replace(u"%APPNAME%", name);
//   if (arg.CompareNoCase(u"-open") == 0) ...
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "compat/win32/WinTypes.h"

class CString {
 public:
  CString() = default;
  CString(LPCWSTR text);  // null is the empty string
  CString(LPCWSTR text, int length);
  CString(std::u16string_view text);
  // Takes the text over without copying it.
  explicit CString(std::u16string&& text) noexcept : text_(std::move(text)) {}
  CString(WCHAR ch, int repeat = 1);

  int GetLength() const { return static_cast<int>(text_.size()); }
  bool IsEmpty() const { return text_.empty(); }
  void Empty() { text_.clear(); }
  operator LPCWSTR() const { return text_.c_str(); }
  LPCWSTR GetString() const { return text_.c_str(); }
  const std::u16string& str() const { return text_; }
  WCHAR GetAt(int index) const { return text_[static_cast<std::size_t>(index)]; }
  WCHAR operator[](int index) const { return GetAt(index); }

  CString& operator=(LPCWSTR text);
  CString& operator+=(const CString& other);
  CString& operator+=(LPCWSTR text);
  CString& operator+=(WCHAR ch);
  friend CString operator+(const CString& a, const CString& b);
  friend CString operator+(const CString& a, LPCWSTR b);
  friend CString operator+(LPCWSTR a, const CString& b);
  friend CString operator+(const CString& a, WCHAR b);
  friend bool operator==(const CString& a, const CString& b) { return a.text_ == b.text_; }
  friend bool operator==(const CString& a, LPCWSTR b);

  // Ordinal comparison, and comparison without regard to case (simple case
  // folding of the Basic Multilingual Plane, as the system's lstrcmpiW).
  int Compare(LPCWSTR other) const;
  int CompareNoCase(LPCWSTR other) const;

  // -1 when not found.
  int Find(WCHAR ch, int start = 0) const;
  int Find(LPCWSTR sub, int start = 0) const;
  int FindOneOf(LPCWSTR chars) const;
  int ReverseFind(WCHAR ch) const;

  CString Mid(int first) const;
  CString Mid(int first, int count) const;
  CString Left(int count) const;
  CString Right(int count) const;

  // Returns the number of replacements.
  int Replace(LPCWSTR oldText, LPCWSTR newText);
  int Replace(WCHAR oldChar, WCHAR newChar);
  // White space is what iswspace calls so: blanks, tabs, CR, LF, VT, FF.
  CString& Trim();
  CString& TrimLeft();
  CString& TrimRight();
  CString& Trim(LPCWSTR chars);
  CString& MakeLower();
  CString& MakeUpper();

 private:
  std::u16string text_;
};
