// The process-wide stream manager: opens a stream by asking its registered
// factories in registration order until one serves the URI.
//
//   lumo::GetStreamManager()->AddFactory(lumo::make<CMyFactory>());
//   lumo::P<lumo::IInStream> in = lumo::GetStreamManager()->OpenInStream(uri, lumo::kShareRead);
#pragma once

#include <cstdint>

#include "foundation/SimpleArray.h"
#include "platform/IMutex.h"
#include "platform/StreamFactory.h"

namespace lumo {

// The list of factories is kept under the manager's mutex; an open copies it
// under the mutex and asks the factories outside it, so a factory that takes
// long (a named pipe, a network file system) holds up no other thread's
// opens, and a factory may add or remove factories while it runs.
class CStreamManager : public CStreamFactory, public virtual IStreamManager {
 public:
  CStreamManager();
  // Starts with `first` registered. Nobody else sees the manager yet, so this
  // takes no lock: the process-wide manager is made under the lock that
  // creates every process-wide object, which must never wait for the
  // manager's mutex.
  explicit CStreamManager(const P<IStreamFactory>& first);

  void AddFactory(const P<IStreamFactory>& factory) override;
  void RemoveFactory(const P<IStreamFactory>& factory) override;

 protected:
  ~CStreamManager() override;
  // The first non-empty answer of the factories registered when the open began.
  P<IStreamBase> TryOpen(const P<IURI>& uri, const StreamRequest& request) override;

 private:
  TCleaningSimpleArray<P<IStreamFactory>> factories{10};
  P<IMutex> mutex;
};

// The process-wide manager, made on first use with the disk stream factory
// registered.
const P<IStreamManager>& GetStreamManager();

}  // namespace lumo
