#include "platform/StreamManager.h"

#include <vector>

#include "foundation/Singleton.h"
#include "platform/win32/DiskStream.h"

namespace lumo {

CStreamManager::CStreamManager() : mutex(GetMutexFactory()->CreateMutex()) {}

CStreamManager::CStreamManager(const P<IStreamFactory>& first) : CStreamManager() { factories.add(first); }

CStreamManager::~CStreamManager() = default;

void CStreamManager::AddFactory(const P<IStreamFactory>& factory) {
  CMutexGuard guard(mutex);
  factories.add(factory);
}

void CStreamManager::RemoveFactory(const P<IStreamFactory>& factory) {
  P<IStreamFactory> removed;  // released after the lock, in case the factory goes with it
  CMutexGuard guard(mutex);
  const std::int32_t index = factories.indexOf(factory.get());
  if (index < 0) return;
  removed = factories.get(index);
  factories.remove(index);
}

P<IStreamBase> CStreamManager::TryOpen(const P<IURI>& uri, const StreamRequest& request) {
  std::vector<P<IStreamFactory>> asked;
  {
    CMutexGuard guard(mutex);
    asked.reserve(static_cast<std::size_t>(factories.getCount()));
    for (std::int32_t i = 0; i < factories.getCount(); ++i) asked.push_back(factories.get(i));
  }
  for (const P<IStreamFactory>& factory : asked) {
    if (P<IStreamBase> stream = TryOpenKind(*factory, uri, request)) return stream;
  }
  return nullptr;
}

namespace {
P<IStreamManager> MakeStreamManager() { return make<CStreamManager>(make<win32::CDiskStreamFactory>()); }
}  // namespace

const P<IStreamManager>& GetStreamManager() { return StaticSingleton<IStreamManager, &MakeStreamManager>(); }

}  // namespace lumo
