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

namespace compat::win32 {
// One export of a library that compat provides itself.
struct ProvidedExport {
  const char* name;
  FARPROC address;
};
// Makes `name` (say "msimg32.dll") a system library that compat provides:
// LoadLibraryW and GetModuleHandleW find it before any file, GetProcAddress
// answers from `exports` (ended by a null name, kept by the caller for good),
// and FreeLibrary leaves it loaded. Providing a name again replaces its exports.
void ProvideModule(LPCWSTR name, const ProvidedExport* exports);
}  // namespace compat::win32
