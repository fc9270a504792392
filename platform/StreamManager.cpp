#include "platform/StreamManager.h"

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

template <class Stream, class... Params, class... Args>
P<Stream> CStreamManager::firstAnswer(P<Stream> (IStreamFactory::*open)(Params...), const Args&... args) {
  CMutexGuard guard(mutex);
  const std::int32_t count = factories.getCount();
  // A factory that unregisters itself or others while it runs shortens the
  // list; the walk stops at its end.
  for (std::int32_t i = 0; i < count && i < factories.getCount(); ++i) {
    const P<IStreamFactory> factory = factories.get(i);
    if (P<Stream> stream = (factory.get()->*open)(args...)) return stream;
  }
  return nullptr;
}

P<IInStream> CStreamManager::TryOpenInStream(const P<IURI>& uri, ShareMode share) {
  return firstAnswer(&IStreamFactory::TryOpenInStream, uri, share);
}

P<IResetableInStream> CStreamManager::TryOpenResetableInStream(const P<IURI>& uri, ShareMode share) {
  return firstAnswer(&IStreamFactory::TryOpenResetableInStream, uri, share);
}

P<ISeekableInStream> CStreamManager::TryOpenSeekableInStream(const P<IURI>& uri, ShareMode share) {
  return firstAnswer(&IStreamFactory::TryOpenSeekableInStream, uri, share);
}

P<IOutStream> CStreamManager::TryOpenOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                               bool deleteOnClose) {
  return firstAnswer(&IStreamFactory::TryOpenOutStream, uri, share, creation, deleteOnClose);
}

P<IResetableOutStream> CStreamManager::TryOpenResetableOutStream(const P<IURI>& uri, ShareMode share,
                                                                 CreationMode creation, bool deleteOnClose) {
  return firstAnswer(&IStreamFactory::TryOpenResetableOutStream, uri, share, creation, deleteOnClose);
}

P<ISeekableOutStream> CStreamManager::TryOpenSeekableOutStream(const P<IURI>& uri, ShareMode share,
                                                               CreationMode creation, bool deleteOnClose) {
  return firstAnswer(&IStreamFactory::TryOpenSeekableOutStream, uri, share, creation, deleteOnClose);
}

P<IIOStream> CStreamManager::TryOpenIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                             bool deleteOnClose) {
  return firstAnswer(&IStreamFactory::TryOpenIOStream, uri, share, creation, deleteOnClose);
}

P<IResetableIOStream> CStreamManager::TryOpenResetableIOStream(const P<IURI>& uri, ShareMode share,
                                                               CreationMode creation, bool deleteOnClose) {
  return firstAnswer(&IStreamFactory::TryOpenResetableIOStream, uri, share, creation, deleteOnClose);
}

P<ISeekableIOStream> CStreamManager::TryOpenSeekableIOStream(const P<IURI>& uri, ShareMode share,
                                                             CreationMode creation, bool deleteOnClose) {
  return firstAnswer(&IStreamFactory::TryOpenSeekableIOStream, uri, share, creation, deleteOnClose);
}

namespace {
P<IStreamManager> MakeStreamManager() { return make<CStreamManager>(make<win32::CDiskStreamFactory>()); }
}  // namespace

const P<IStreamManager>& GetStreamManager() { return StaticSingleton<IStreamManager, &MakeStreamManager>(); }

}  // namespace lumo
