// Threads, critical sections and thread-local slots.
//
// A thread starts through the runtime library's _beginthreadex and runs
// detached; its handle is waited on with WaitForSingleObject and closed with
// CloseHandle, which never stops the thread. A critical section is a
// re-entrant lock over a recursive pthread mutex: the thread that holds it
// may enter again and must leave as often. A thread-local slot is a pthread
// key.
//
//   HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Run, arg, 0, nullptr));
//   WaitForSingleObject(thread, INFINITE);
//   CloseHandle(thread);
#pragma once

#include <pthread.h>

#include <cstdint>

#include "compat/win32/WinTypes.h"

// Starts `start(argument)` on a new thread at once and answers its handle,
// or 0 with errno and the last error set (ERROR_NOT_ENOUGH_MEMORY when the
// system has no room for another thread). `stackSize` 0 takes the default;
// `threadId`, when given, receives the new thread's id. Threads cannot start
// suspended here: any `flags` are refused with ERROR_INVALID_PARAMETER.
std::uintptr_t _beginthreadex(void* security, unsigned stackSize, unsigned(WINAPI* start)(void*),
                              void* argument, unsigned flags, unsigned* threadId);

struct CRITICAL_SECTION {
  pthread_mutex_t mutex;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section);

#define TLS_OUT_OF_INDEXES 0xFFFFFFFF

// A new slot, empty in every thread, or TLS_OUT_OF_INDEXES with
// ERROR_NO_MORE_ITEMS. A freed index may come back from a later TlsAlloc,
// again empty everywhere.
DWORD WINAPI TlsAlloc();
BOOL WINAPI TlsFree(DWORD index);
// The calling thread's value; sets the last error to ERROR_SUCCESS, so that
// a null value can be told from a bad index (ERROR_INVALID_PARAMETER).
LPVOID WINAPI TlsGetValue(DWORD index);
BOOL WINAPI TlsSetValue(DWORD index, LPVOID value);
