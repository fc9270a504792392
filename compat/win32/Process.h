// The process and its threads; starting other programs and waiting for them.
//
//   STARTUPINFOW startup{};  startup.cb = sizeof startup;
//   PROCESS_INFORMATION started{};
//   if (CreateProcessW(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
//                      &startup, &started)) {
//     WaitForSingleObject(started.hProcess, 30000);
//     CloseHandle(started.hProcess);
//   }
#pragma once

#include "compat/win32/WinTypes.h"

DWORD WINAPI GetCurrentThreadId();
DWORD WINAPI GetCurrentProcessId();
// Ends the process the way exit() does: atexit handlers run.
[[noreturn]] void WINAPI ExitProcess(UINT exitCode);

#define STILL_ACTIVE 259

struct STARTUPINFOW {
  DWORD cb;
  DWORD dwFlags;
  WORD wShowWindow;
};
using LPSTARTUPINFOW = STARTUPINFOW*;

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;  // always null here: no handle names the new main thread
  DWORD dwProcessId;
  DWORD dwThreadId;
};
using LPPROCESS_INFORMATION = PROCESS_INFORMATION*;

// Starts a program directly, never through a shell. The command line is split
// into arguments by Windows' rules (blanks, double quotes, backslashes before
// quotes); the program is `applicationName` or else the first argument.
// Handles are never inherited, whatever `inheritHandles` says; the
// environment and folder are this process's. The process handle is waited on
// with WaitForSingleObject; a process still running when its handle closes
// is collected when it ends.
BOOL WINAPI CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine,
                           LPSECURITY_ATTRIBUTES processAttributes,
                           LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                           DWORD creationFlags, LPVOID environment, LPCWSTR currentDirectory,
                           LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION processInformation);
// STILL_ACTIVE while the process runs; its exit status, or 128 plus the
// signal that ended it.
BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode);

// Finds a file in `path` (folders separated by ";") or, when it is null, in
// the program's folder, the current folder and the folders of PATH. A name
// without a dot gets `extension`; a name ending in ".exe" also matches the
// program without it, as programs here have no extension. Answers the length
// of the Windows path written to `buffer`, the size needed (with the closing
// zero) when the buffer is too small, or 0 when nothing was found.
DWORD WINAPI SearchPathW(LPCWSTR path, LPCWSTR fileName, LPCWSTR extension, DWORD bufferLength,
                         LPWSTR buffer, LPWSTR* filePart);

// True for an administrator: the superuser, or a member of one of the groups
// that administer a Linux system ("sudo", "wheel" or "admin").
BOOL WINAPI IsUserAnAdmin();
