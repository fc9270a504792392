// The user's language as Windows names it: a language identifier for the
// POSIX locale, and the locale's ISO and abbreviated names.
//
//   LANGID id = GetUserDefaultUILanguage();          // 0x0407 for LANG=de_DE.UTF-8
//   WCHAR iso[9];
//   GetLocaleInfoW(MAKELCID(id, SORT_DEFAULT), LOCALE_SISO639LANGNAME, iso, 9);  // "de"
#pragma once

#include "compat/win32/WinTypes.h"

using LANGID = WORD;
using LCID = DWORD;
using LCTYPE = DWORD;

#define SORT_DEFAULT 0x0
#define MAKELCID(langId, sortId) ((static_cast<DWORD>(static_cast<WORD>(sortId)) << 16) | static_cast<DWORD>(static_cast<WORD>(langId)))
#define LANGIDFROMLCID(lcid) static_cast<WORD>(lcid)

#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800

#define LOCALE_SABBREVLANGNAME 0x00000003
#define LOCALE_SABBREVCTRYNAME 0x00000007
#define LOCALE_SISO639LANGNAME 0x00000059
#define LOCALE_SISO3166CTRYNAME 0x0000005A

// The language of the first of LANGUAGE, LC_ALL, LC_MESSAGES and LANG that
// is set and not empty, in the order the C library consults them ("de_AT"
// gives 0x0C07; a language alone gives its main country's identifier).
// "C", "POSIX", no variable, or a language outside the table: 0x0409.
LANGID WINAPI GetUserDefaultUILanguage();

// Windows contract: the answer's length including its terminator; with
// `dataLength` 0 the length needed; 0 with ERROR_INSUFFICIENT_BUFFER when
// the buffer is too small, with ERROR_INVALID_PARAMETER for an identifier
// outside the table or a null buffer with a length, with ERROR_INVALID_FLAGS
// for another kind of information. LOCALE_USER_DEFAULT and
// LOCALE_SYSTEM_DEFAULT stand for the user's language.
int WINAPI GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int dataLength);
