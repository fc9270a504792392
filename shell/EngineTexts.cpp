// Engine texts in wide and ANSI form.
#include "shell/EngineTexts.h"

#include "compat/win32/StringConv.h"

std::string ToAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string ansi(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, ansi.data(), size, nullptr, nullptr);
  return ansi;
}

IgnisText CEngineTexts::Place(const CString& text) {
  if (unicode_) return PlaceWide(text);
  return ansi_.emplace_back(ToAnsi(text.str())).c_str();
}

IgnisText CEngineTexts::PlaceJoined(std::initializer_list<std::u16string_view> parts) {
  std::size_t size = 0;
  for (const std::u16string_view part : parts) size += part.size();
  std::u16string joined;
  joined.reserve(size);
  for (const std::u16string_view part : parts) joined += part;
  if (unicode_) return wide_.emplace_back(std::move(joined)).c_str();
  return ansi_.emplace_back(ToAnsi(joined)).c_str();
}

const char16_t* CEngineTexts::PlaceWide(const CString& text) {
  return wide_.emplace_back(text.str()).c_str();
}

void CEngineTexts::Clear() {
  wide_.clear();
  ansi_.clear();
}
