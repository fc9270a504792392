// Threads, critical sections and thread-local slots.
//
// A critical section is a re-entrant lock over a recursive pthread mutex:
// the thread that holds it may enter again and must leave as often.
//
//   CRITICAL_SECTION section;
//   InitializeCriticalSection(&section);
//   EnterCriticalSection(&section);
//   LeaveCriticalSection(&section);
//   DeleteCriticalSection(&section);
#pragma once

#include <pthread.h>

#include "compat/win32/WinTypes.h"

struct CRITICAL_SECTION {
  pthread_mutex_t mutex;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section);
