// Win32 base types, handles and calling-convention macros, standing in for
// the desktop's <windef.h>/<winnt.h>. Plain C++ with <cstdint> only, so the
// engine's shared header can include it in a 32-bit build as well.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__i386__)
#define WINAPI __attribute__((stdcall))
#else
#define WINAPI
#endif
#define CALLBACK WINAPI
#define APIENTRY WINAPI

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using INT = int;
using UINT = unsigned int;
using BOOL = int;
using BOOLEAN = BYTE;
using CHAR = char;
using WCHAR = char16_t;  // Windows' 16-bit wchar_t; Linux's wchar_t is never used for UTF-16
using LPSTR = CHAR*;
using LPCSTR = const CHAR*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using PBYTE = BYTE*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using PLONG = LONG*;
using LPVOID = void*;
using LPCVOID = const void*;
using PVOID = void*;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using DWORD_PTR = ULONG_PTR;
using SIZE_T = std::size_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using ATOM = WORD;
using REGSAM = DWORD;
using HRESULT = LONG;

using HANDLE = void*;
using PHANDLE = HANDLE*;
#define COMPAT_DECLARE_HANDLE(name) \
  struct name##__;                  \
  using name = name##__*
COMPAT_DECLARE_HANDLE(HKEY);
COMPAT_DECLARE_HANDLE(HINSTANCE);
COMPAT_DECLARE_HANDLE(HWND);
COMPAT_DECLARE_HANDLE(HICON);
COMPAT_DECLARE_HANDLE(HMENU);
COMPAT_DECLARE_HANDLE(HBITMAP);
COMPAT_DECLARE_HANDLE(HCURSOR);
COMPAT_DECLARE_HANDLE(HDC);
#undef COMPAT_DECLARE_HANDLE
using PHKEY = HKEY*;
using HMODULE = HINSTANCE;

// A procedure found by GetProcAddress; cast it to the export's real type.
// (void() rather than the desktop's INT_PTR(): the compilers take it as the
// generic function pointer type and accept the cast without a warning.)
using FARPROC = void(WINAPI*)();

#define MAX_PATH 260
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))

#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(r) ((reinterpret_cast<ULONG_PTR>(r) >> 16) == 0)

#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xffff))

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;
