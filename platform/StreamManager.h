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

// Every operation runs under the manager's one mutex, so the list never
// changes while an open walks it, and opens through one manager are
// serialized (factories run under the lock too).
class CStreamManager : public CStreamFactory, public virtual IStreamManager {
 public:
  CStreamManager();
  // Starts with `first` registered. Nobody else sees the manager yet, so this
  // takes no lock: the process-wide manager is made under the lock that
  // creates every process-wide object, and opens that run under the
  // manager's mutex may create such objects, so that lock must never wait
  // for the manager's mutex.
  explicit CStreamManager(const P<IStreamFactory>& first);

  void AddFactory(const P<IStreamFactory>& factory) override;
  void RemoveFactory(const P<IStreamFactory>& factory) override;

  P<IInStream> TryOpenInStream(const P<IURI>& uri, ShareMode share) override;
  P<IResetableInStream> TryOpenResetableInStream(const P<IURI>& uri, ShareMode share) override;
  P<ISeekableInStream> TryOpenSeekableInStream(const P<IURI>& uri, ShareMode share) override;
  P<IOutStream> TryOpenOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                 bool deleteOnClose) override;
  P<IResetableOutStream> TryOpenResetableOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                                   bool deleteOnClose) override;
  P<ISeekableOutStream> TryOpenSeekableOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                                 bool deleteOnClose) override;
  P<IIOStream> TryOpenIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                               bool deleteOnClose) override;
  P<IResetableIOStream> TryOpenResetableIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                                 bool deleteOnClose) override;
  P<ISeekableIOStream> TryOpenSeekableIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                               bool deleteOnClose) override;

 protected:
  ~CStreamManager() override;

 private:
  // The first non-empty answer of the registered factories' `open`.
  template <class Stream, class... Params, class... Args>
  P<Stream> firstAnswer(P<Stream> (IStreamFactory::*open)(Params...), const Args&... args);

  TCleaningSimpleArray<P<IStreamFactory>> factories{10};
  P<IMutex> mutex;
};

// The process-wide manager, made on first use with the disk stream factory
// registered.
const P<IStreamManager>& GetStreamManager();

}  // namespace lumo
