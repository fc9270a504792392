// Threads: the process-wide thread manager starts them and lets the caller
// wait, sleep and yield without calling the operating system itself.
//
//   const lumo::P<lumo::IThread> worker = lumo::StartThread([&] { ... });
//   worker->Join();
#pragma once

#include <cstdint>
#include <functional>

#include "foundation/IBase.h"
#include "foundation/Pointer.h"

namespace lumo {

// What a new thread runs: `function(object, context)`. With `holdObject`
// the thread keeps a reference to `object` until it has ended, so the caller
// may drop its own at once; without, the caller keeps `object` alive.
struct ThreadCallable {
  IBase* object = nullptr;
  bool holdObject = false;
  void (*function)(IBase* object, void* context) = nullptr;
  void* context = nullptr;
};

class IThread : public virtual IBase {
 public:
  // Waits without time limit until the thread has ended.
  virtual void Join() = 0;
};

class IThreadManager : public virtual IBase {
 public:
  // Starts the thread at once. Raises CError when the system cannot.
  virtual P<IThread> CreateThread(const ThreadCallable& callable) = 0;
  // Gives up the processor: for a millisecond when `sleep`, else for the
  // rest of the time slice.
  virtual void Yield(bool sleep) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  virtual std::uint64_t GetCurrentThreadId() = 0;
};

// The process-wide thread manager, made on first use.
const P<IThreadManager>& GetThreadManager();

// Runs `body` on a new thread started by the thread manager.
P<IThread> StartThread(std::function<void()> body);

}  // namespace lumo
