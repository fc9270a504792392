// Engine texts in wide and ANSI form.
#include "shell/EngineTexts.h"

#include "compat/win32/StringConv.h"

std::string ToAnsi(const CString& text) {
  if (text.IsEmpty()) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, text, text.GetLength(), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string ansi(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, text.GetLength(), ansi.data(), size, nullptr, nullptr);
  return ansi;
}

IgnisText CEngineTexts::Place(const CString& text) {
  if (unicode_) return PlaceWide(text);
  return ansi_.emplace_back(ToAnsi(text)).c_str();
}

const char16_t* CEngineTexts::PlaceWide(const CString& text) {
  return wide_.emplace_back(text.str()).c_str();
}

void CEngineTexts::Clear() {
  wide_.clear();
  ansi_.clear();
}
