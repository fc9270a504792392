// The framework's wide string.
#include "compat/mfc/CString.h"

#include <algorithm>

#include "compat/win32/CaseRules.h"

namespace {

using View = std::u16string_view;

// The framework treats a null text as the empty string throughout.
View ViewOf(LPCWSTR text) { return text ? View(text) : View(); }

int SignOf(int difference) { return (difference > 0) - (difference < 0); }

// Positions arrive as int from callers that compute them freely; wide
// arithmetic keeps first + count from overflowing before the clamp.
CString Slice(const std::u16string& text, long long first, long long count) {
  const long long size = static_cast<long long>(text.size());
  first = std::clamp(first, 0LL, size);
  count = std::clamp(count, 0LL, size - first);
  return CString(View(text).substr(static_cast<std::size_t>(first), static_cast<std::size_t>(count)));
}

int IndexOrMinusOne(std::size_t found) {
  return found == std::u16string::npos ? -1 : static_cast<int>(found);
}

bool IsWhiteSpace(WCHAR c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

}  // namespace

CString::CString(LPCWSTR text) : text_(ViewOf(text)) {}

CString::CString(LPCWSTR text, int length)
    : text_(text && length > 0 ? View(text, static_cast<std::size_t>(length)) : View()) {}

CString::CString(std::u16string_view text) : text_(text) {}

CString::CString(WCHAR ch, int repeat) : text_(static_cast<std::size_t>(std::max(repeat, 0)), ch) {}

CString& CString::operator=(LPCWSTR text) {
  text_.assign(ViewOf(text));
  return *this;
}

CString& CString::operator+=(const CString& other) {
  text_ += other.text_;
  return *this;
}

CString& CString::operator+=(LPCWSTR text) {
  text_.append(ViewOf(text));
  return *this;
}

CString& CString::operator+=(WCHAR ch) {
  text_ += ch;
  return *this;
}

CString operator+(const CString& a, const CString& b) { return CString(a) += b; }
CString operator+(const CString& a, LPCWSTR b) { return CString(a) += b; }
CString operator+(LPCWSTR a, const CString& b) { return CString(a) += b; }
CString operator+(const CString& a, WCHAR b) { return CString(a) += b; }

bool operator==(const CString& a, LPCWSTR b) { return View(a.text_) == ViewOf(b); }

int CString::Compare(LPCWSTR other) const { return SignOf(View(text_).compare(ViewOf(other))); }

int CString::CompareNoCase(LPCWSTR other) const {
  const View theirs = ViewOf(other);
  const std::size_t common = std::min(text_.size(), theirs.size());
  for (std::size_t i = 0; i < common; ++i) {
    const int difference = compat::win32::FoldTextCase(text_[i]) - compat::win32::FoldTextCase(theirs[i]);
    if (difference != 0) return SignOf(difference);
  }
  if (text_.size() == theirs.size()) return 0;
  return text_.size() < theirs.size() ? -1 : 1;
}

int CString::Find(WCHAR ch, int start) const {
  start = std::max(start, 0);
  return IndexOrMinusOne(text_.find(ch, static_cast<std::size_t>(start)));
}

int CString::Find(LPCWSTR sub, int start) const {
  start = std::max(start, 0);
  return IndexOrMinusOne(text_.find(ViewOf(sub), static_cast<std::size_t>(start)));
}

int CString::FindOneOf(LPCWSTR chars) const {
  return IndexOrMinusOne(text_.find_first_of(ViewOf(chars)));
}

int CString::ReverseFind(WCHAR ch) const { return IndexOrMinusOne(text_.rfind(ch)); }

CString CString::Mid(int first) const {
  return Slice(text_, first, static_cast<long long>(text_.size()) - first);
}

CString CString::Mid(int first, int count) const { return Slice(text_, first, count); }

CString CString::Left(int count) const { return Slice(text_, 0, count); }

CString CString::Right(int count) const {
  const long long size = static_cast<long long>(text_.size());
  const long long kept = std::clamp(static_cast<long long>(count), 0LL, size);
  return Slice(text_, size - kept, kept);
}

int CString::Replace(LPCWSTR oldText, LPCWSTR newText) {
  const View from = ViewOf(oldText);
  const View to = ViewOf(newText);
  if (from.empty()) return 0;
  // Built aside and swapped in at the end, so either text may point into
  // this string.
  std::u16string result;
  int count = 0;
  std::size_t done = 0;
  for (std::size_t hit; (hit = text_.find(from, done)) != std::u16string::npos; done = hit + from.size()) {
    result.append(text_, done, hit - done).append(to);
    ++count;
  }
  if (count == 0) return 0;
  result.append(text_, done);
  text_.swap(result);
  return count;
}

int CString::Replace(WCHAR oldChar, WCHAR newChar) {
  // The framework counts nothing when the two are the same character.
  if (oldChar == newChar) return 0;
  int count = 0;
  for (WCHAR& c : text_) {
    if (c == oldChar) {
      c = newChar;
      ++count;
    }
  }
  return count;
}

namespace {

// Cuts the runs of units that `drop` accepts from the chosen ends. Both ends
// are found before anything changes, so the predicate may read this string.
template <typename Predicate>
void TrimWhere(std::u16string& text, bool left, bool right, Predicate drop) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (left && begin < end && drop(text[begin])) ++begin;
  while (right && end > begin && drop(text[end - 1])) --end;
  text.erase(end);
  text.erase(0, begin);
}

}  // namespace

CString& CString::Trim() {
  TrimWhere(text_, true, true, IsWhiteSpace);
  return *this;
}

CString& CString::TrimLeft() {
  TrimWhere(text_, true, false, IsWhiteSpace);
  return *this;
}

CString& CString::TrimRight() {
  TrimWhere(text_, false, true, IsWhiteSpace);
  return *this;
}

CString& CString::Trim(LPCWSTR chars) {
  const View set = ViewOf(chars);
  TrimWhere(text_, true, true, [&set](WCHAR c) { return set.find(c) != std::u16string::npos; });
  return *this;
}

CString& CString::MakeLower() {
  std::transform(text_.begin(), text_.end(), text_.begin(), compat::win32::ToLower);
  return *this;
}

CString& CString::MakeUpper() {
  std::transform(text_.begin(), text_.end(), text_.begin(), compat::win32::ToUpper);
  return *this;
}
