// The Windows version the program believes it runs on. It is emulated: the
// string value "Version" of HKEY_LOCAL_MACHINE\Software\Win32Compat names
// one of win95, win98, winme, nt40, win2k, winxp, win2003, vista, win7 and
// win10 (the default), so a run can behave as on any of them.
#pragma once

#include "compat/win32/WinTypes.h"

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
#define VER_NT_WORKSTATION 1
#define VER_NT_DOMAIN_CONTROLLER 2
#define VER_NT_SERVER 3

struct OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
};
using LPOSVERSIONINFOW = OSVERSIONINFOW*;

struct OSVERSIONINFOEXW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
};

// Fails with ERROR_INSUFFICIENT_BUFFER unless dwOSVersionInfoSize is the size
// of OSVERSIONINFOW or OSVERSIONINFOEXW.
BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info);
