// Synchronisation objects: the named mutex that marks a running instance,
// handles and waits.
//
// A named mutex lives as a lock on a file named after it in the user's runtime
// folder ($XDG_RUNTIME_DIR, else a private folder of ours below the temporary
// folder or the cache folder). The kernel
// drops the lock when the process ends, however it ends, so no stale mark
// outlives a crash; a second process that opens the same name sees
// ERROR_ALREADY_EXISTS.
#pragma once

#include "compat/win32/Time.h"
#include "compat/win32/WinTypes.h"

#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED 0xFFFFFFFF

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCWSTR name);
BOOL WINAPI ReleaseMutex(HANDLE mutex);
// Waits for a mutex (then owns it) or for a thread to end.
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// Closes any handle compat hands out: files, mutexes, find handles.
BOOL WINAPI CloseHandle(HANDLE handle);
