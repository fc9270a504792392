// The process and its threads.
#pragma once

#include "compat/win32/WinTypes.h"

DWORD WINAPI GetCurrentThreadId();
DWORD WINAPI GetCurrentProcessId();
// Ends the process the way exit() does: atexit handlers run.
[[noreturn]] void WINAPI ExitProcess(UINT exitCode);
