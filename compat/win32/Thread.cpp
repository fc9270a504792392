#include "compat/win32/Thread.h"

#include <limits.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "compat/win32/Error.h"
#include "compat/win32/Handle.h"
#include "compat/win32/Process.h"
#include "compat/win32/Sync.h"

namespace compat::win32 {
namespace {

// A started thread: its handle is signalled once the start routine returned.
class ThreadObject final : public WaitableObject {
 public:
  ThreadObject(unsigned(WINAPI* start)(void*), void* argument) : start_(start), argument_(argument) {}

  void Run() {
    {
      std::lock_guard guard(lock_);
      id_ = GetCurrentThreadId();
    }
    changed_.notify_all();
    start_(argument_);
    {
      std::lock_guard guard(lock_);
      ended_ = true;
    }
    changed_.notify_all();
  }

  DWORD Id() {
    std::unique_lock guard(lock_);
    changed_.wait(guard, [this] { return id_ != 0; });
    return id_;
  }

  DWORD Wait(DWORD milliseconds) override {
    std::unique_lock guard(lock_);
    const auto ended = [this] { return ended_; };
    if (milliseconds == INFINITE) {
      changed_.wait(guard, ended);
    } else if (!changed_.wait_for(guard, std::chrono::milliseconds(milliseconds), ended)) {
      return WAIT_TIMEOUT;
    }
    return WAIT_OBJECT_0;
  }

 private:
  unsigned(WINAPI* const start_)(void*);
  void* const argument_;
  std::mutex lock_;
  std::condition_variable changed_;
  DWORD id_ = 0;
  bool ended_ = false;
};

// The new thread owns a reference to its object, so the handle may be
// closed while it runs.
void* RunThread(void* raw) {
  const std::unique_ptr<std::shared_ptr<ThreadObject>> thread(static_cast<std::shared_ptr<ThreadObject>*>(raw));
  (*thread)->Run();
  return nullptr;
}

// A lock that cannot be made or used leaves the process without mutual
// exclusion; going on would corrupt whatever it guards.
void Check(int result, const char* what) {
  if (result == 0) return;
  std::fprintf(stderr, "compat: %s failed (error %d)\n", what, result);
  std::abort();
}

}  // namespace
}  // namespace compat::win32

using namespace compat::win32;

std::uintptr_t _beginthreadex(void* /*security*/, unsigned stackSize, unsigned(WINAPI* start)(void*),
                              void* argument, unsigned flags, unsigned* threadId) {
  int result = EINVAL;
  auto thread = std::make_shared<ThreadObject>(start, argument);
  if (start != nullptr && flags == 0) {
    pthread_attr_t attributes;
    Check(pthread_attr_init(&attributes), "pthread_attr_init");
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    result = stackSize == 0 ? 0
                            : pthread_attr_setstacksize(&attributes, stackSize < PTHREAD_STACK_MIN
                                                                         ? PTHREAD_STACK_MIN
                                                                         : stackSize);
    auto* owned = new std::shared_ptr<ThreadObject>(thread);
    pthread_t id;
    if (result == 0) result = pthread_create(&id, &attributes, RunThread, owned);
    if (result != 0) delete owned;
    pthread_attr_destroy(&attributes);
  }
  if (result != 0) {
    SetLastError(result == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ErrorFromErrno(result));
    errno = result;
    return 0;
  }
  if (threadId != nullptr) *threadId = thread->Id();
  return reinterpret_cast<std::uintptr_t>(InsertHandle(std::move(thread)));
}

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

DWORD WINAPI TlsAlloc() {
  pthread_key_t key;
  if (pthread_key_create(&key, nullptr) != 0) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return TLS_OUT_OF_INDEXES;
  }
  return static_cast<DWORD>(key);
}

BOOL WINAPI TlsFree(DWORD index) {
  if (index >= PTHREAD_KEYS_MAX || pthread_key_delete(static_cast<pthread_key_t>(index)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

LPVOID WINAPI TlsGetValue(DWORD index) {
  if (index >= PTHREAD_KEYS_MAX) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return pthread_getspecific(static_cast<pthread_key_t>(index));
}

BOOL WINAPI TlsSetValue(DWORD index, LPVOID value) {
  if (index >= PTHREAD_KEYS_MAX || pthread_setspecific(static_cast<pthread_key_t>(index), value) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}
