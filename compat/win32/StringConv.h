// Conversions between UTF-16 and the multibyte code pages. CP_ACP, the
// "ANSI" code page, is the process locale's multibyte encoding (UTF-8 on a
// usual system); CP_UTF8 is UTF-8 whatever the locale.
#pragma once

#include <string>
#include <string_view>

#include "compat/win32/Utf8.h"
#include "compat/win32/WinTypes.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_THREAD_ACP 3
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_NO_BEST_FIT_CHARS 0x00000400

// Windows contract: a length of -1 includes the terminator in the count;
// a zero output size asks for the size needed; a too-small buffer fails with
// ERROR_INSUFFICIENT_BUFFER; unconvertible characters become the default
// character ("?") and set *usedDefaultChar.
int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteLength,
                               LPWSTR wide, int wideLength);
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength,
                               LPSTR multiByte, int multiByteLength, LPCSTR defaultChar,
                               BOOL* usedDefaultChar);
int WINAPI lstrlenW(LPCWSTR text);

namespace compat::win32 {
// Convenience forms for compat itself and the peers, over the two above.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string AnsiToUtf16(std::string_view text);
std::string Utf16ToAnsi(std::u16string_view text);
// The lossless forms for stored names and file names are in Utf8.h.

// The digits of every %XX escape compat writes (lock file names, file URIs).
inline constexpr char kUpperHexDigits[] = "0123456789ABCDEF";
void AppendPercentEscape(std::string& out, unsigned char byte);
}  // namespace compat::win32
