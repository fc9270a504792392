// The process and thread calls.
#include "compat/win32/Process.h"

#include <unistd.h>

#include <cstdlib>

DWORD WINAPI GetCurrentThreadId() {
  static thread_local const DWORD id = static_cast<DWORD>(gettid());
  return id;
}

DWORD WINAPI GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

void WINAPI ExitProcess(UINT exitCode) { std::exit(static_cast<int>(exitCode)); }
