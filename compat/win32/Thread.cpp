#include "compat/win32/Thread.h"

#include <cstdio>
#include <cstdlib>

namespace {
// A lock that cannot be made or used leaves the process without mutual
// exclusion; going on would corrupt whatever it guards.
void Check(int result, const char* what) {
  if (result == 0) return;
  std::fprintf(stderr, "compat: %s failed (error %d)\n", what, result);
  std::abort();
}
}  // namespace

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section) {
  pthread_mutexattr_t attributes;
  Check(pthread_mutexattr_init(&attributes), "pthread_mutexattr_init");
  Check(pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE), "pthread_mutexattr_settype");
  Check(pthread_mutex_init(&section->mutex, &attributes), "pthread_mutex_init");
  pthread_mutexattr_destroy(&attributes);
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section) {
  Check(pthread_mutex_lock(&section->mutex), "EnterCriticalSection");
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section) {
  Check(pthread_mutex_unlock(&section->mutex), "LeaveCriticalSection");
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section) {
  Check(pthread_mutex_destroy(&section->mutex), "DeleteCriticalSection");
}
