// Periodic work on the thread that runs the message loop. A worker states
// how often it wants to be called; a worker manager is itself a worker that
// calls all of its workers and keeps its own period at the greatest common
// divisor of theirs. Managers nest; the system object is the root and calls
// its workers from a window timer.
//
//   lumo::cast<lumo::IWorkerManager>(lumo::GetSystem().get())->AddWorker(this);
#pragma once

#include <cstdint>

#include "foundation/IBase.h"
#include "foundation/Pointer.h"

namespace lumo {

class IWorkerManager;

class IWorker : public virtual IBase {
 public:
  virtual void Work() = 0;
  // The tick count when Work last ran.
  virtual std::uint64_t GetLastWorkTime() = 0;
  // The wanted period in milliseconds; 0 states no wish.
  virtual std::uint32_t GetInterval() = 0;
  virtual void AddManager(IWorkerManager* manager) = 0;
  // False when that manager was not noted.
  virtual bool RemoveManager(IWorkerManager* manager) = 0;
};

class IWorkerManager : public virtual IWorker {
 public:
  // Not owned: the worker removes itself before it dies.
  virtual void AddWorker(IWorker* worker) = 0;
  // Held until removed.
  virtual void AddOwnedWorker(const P<IWorker>& worker) = 0;
  virtual void RemoveWorker(IWorker* worker) = 0;
  // The worker's period changed.
  virtual void WorkerChanged(IWorker* worker) = 0;
};

// A piece of work handed to the message-loop thread from any thread.
class IAction : public virtual IBase {
 public:
  virtual void Run() = 0;
};

}  // namespace lumo
