// Modules: the program's own file and libraries loaded at run time.
//
// LoadLibraryW(u"orbcore.dll") loads "liborbcore.so" from the program folder
// first, then through the system's search; the module keeps the logical name
// for messages. GetModuleFileNameW answers in Windows form ("Z:\...").
#pragma once

#include "compat/win32/WinTypes.h"

HMODULE WINAPI LoadLibraryW(LPCWSTR fileName);
BOOL WINAPI FreeLibrary(HMODULE module);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
// A null name answers the program's own module.
HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName);
// With a null module the program's file. Truncates like Windows: when the
// buffer is too small it writes size-1 characters and a terminator, returns
// size and sets ERROR_INSUFFICIENT_BUFFER.
DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
