// Text form detection and decoding of record texts.
#include "peers/orbcore/RecordText.h"

#include <cstring>
#include <string_view>

#include "compat/win32/StringConv.h"
#include "compat/win32/Version.h"

namespace orbcore {

TextForm DetectTextForm() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  if (GetVersionExW(&info) == FALSE) return TextForm::Wide;
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT ? TextForm::Wide : TextForm::Ansi;
}

const char* TextFormName(TextForm form) { return form == TextForm::Wide ? "wide" : "ansi"; }

std::optional<std::string> DecodeWide(const char16_t* text) {
  if (text == nullptr) return std::nullopt;
  return compat::win32::Utf16ToUtf8(std::u16string_view(text));
}

std::optional<std::string> DecodeText(IgnisText text, TextForm form) {
  if (text == nullptr) return std::nullopt;
  if (form == TextForm::Wide) return DecodeWide(static_cast<const char16_t*>(text));
  const char* ansi = static_cast<const char*>(text);
  return compat::win32::Utf16ToUtf8(compat::win32::AnsiToUtf16(std::string_view(ansi, std::strlen(ansi))));
}

}  // namespace orbcore
