#include "platform/WorkerManager.h"

#include "platform/FrailList.h"
#include "platform/ITimeManager.h"

namespace lumo {

namespace {
// Euclid's algorithm; a zero operand gives 1.
std::int64_t CommonDivisor(std::int64_t a, std::int64_t b) {
  if (a == 0 || b == 0) return 1;
  while (b != 0) {
    const std::int64_t rest = a % b;
    a = b;
    b = rest;
  }
  return a < 0 ? -a : a;
}
}  // namespace

void CWorkerManager::Work() {
  lastWorkTime = GetTimeManager()->GetTickCount();
  CallEachBackwards(workers, [](IWorker& worker) { worker.Work(); });
}

void CWorkerManager::AddManager(IWorkerManager* manager) { managers.add(manager); }
bool CWorkerManager::RemoveManager(IWorkerManager* manager) { return managers.remove(manager); }

void CWorkerManager::AddWorker(IWorker* worker) {
  workers.add(worker);
  RecomputeInterval();
  worker->AddManager(this);
}

void CWorkerManager::AddOwnedWorker(const P<IWorker>& worker) {
  workers.add(PFrail<IWorker>(worker));
  RecomputeInterval();
  worker->AddManager(this);
}

void CWorkerManager::RemoveWorker(IWorker* worker) {
  worker->RemoveManager(this);
  workers.remove(worker);
  RecomputeInterval();
}

void CWorkerManager::WorkerChanged(IWorker*) { RecomputeInterval(); }

void CWorkerManager::RecomputeInterval() {
  std::int64_t period = 0;
  for (std::int32_t i = 0; i < workers.getCount() && (period == 0 || period >= 2); ++i) {
    IWorker* object = workers.getObject(i);
    if (!object) continue;
    const P<IWorker> worker = P<IWorker>::share(object);
    const std::int64_t wanted = worker->GetInterval();
    if (wanted == 0) continue;
    period = period == 0 ? wanted : CommonDivisor(period, wanted);
  }
  interval = period != 0 && period < 2 ? 1 : static_cast<std::uint32_t>(period);
  CallEachBackwards(managers, [this](IWorkerManager& manager) { manager.WorkerChanged(this); });
}

}  // namespace lumo
