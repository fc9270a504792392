// The thread manager of the platform layer and the threads it starts.
#pragma once

#include "compat/win32/WinTypes.h"
#include "foundation/Object.h"
#include "platform/IThread.h"

namespace lumo::win32 {

class CThreadManager final : public CObject, public IThreadManager {
 public:
  P<IThread> CreateThread(const ThreadCallable& callable) override;
  void Yield(bool sleep) override;
  void Sleep(std::uint32_t milliseconds) override;
  std::uint64_t GetCurrentThreadId() override;
};

// A running thread. While it runs it holds a reference to itself, so the
// creator may let go of it at once; when its function returns it forgets its
// thread-local variables, then that reference.
class CThreadImpl final : public CObject, public IThread {
 public:
  // Starts the thread; raises CError when the system cannot.
  explicit CThreadImpl(const ThreadCallable& callable);
  CThreadImpl(const CThreadImpl&) = delete;
  CThreadImpl& operator=(const CThreadImpl&) = delete;

  void Join() override;

 protected:
  ~CThreadImpl() override;

 private:
  static unsigned WINAPI Run(void* thread);

  HANDLE handle = nullptr;
  const PFrail<IBase> object;
  void (*const function)(IBase* object, void* context);
  void* const context;
  P<CThreadImpl> self;
};

}  // namespace lumo::win32
