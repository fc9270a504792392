// The worker manager: calls its workers whenever it is called, from the
// last added to the first, and keeps its period at the greatest common
// divisor of theirs, telling the managers above it when that changes.
#pragma once

#include "foundation/Object.h"
#include "foundation/SimpleArray.h"
#include "platform/IWorker.h"

namespace lumo {

class CWorkerManager : public CObject, public virtual IWorkerManager {
 public:
  void Work() override;
  std::uint64_t GetLastWorkTime() override { return lastWorkTime; }
  std::uint32_t GetInterval() override { return interval; }
  void AddManager(IWorkerManager* manager) override;
  bool RemoveManager(IWorkerManager* manager) override;

  void AddWorker(IWorker* worker) override;
  void AddOwnedWorker(const P<IWorker>& worker) override;
  void RemoveWorker(IWorker* worker) override;
  void WorkerChanged(IWorker* worker) override;

  // Sets the period from the workers' and tells the managers above.
  virtual void RecomputeInterval();

 protected:
  ~CWorkerManager() override = default;

  TFrailArray<IWorker> workers;
  // The managers that hold this one; not owned.
  TFrailArray<IWorkerManager> managers;
  std::uint32_t interval = 0;
  std::uint64_t lastWorkTime = 0;
};

}  // namespace lumo
