#include "platform/StreamFactory.h"

#include "foundation/Exception.h"

namespace lumo {

namespace {
template <class Stream>
P<Stream> OrFileNotFound(P<Stream> stream, const P<IURI>& uri) {
  if (!stream) throw CFileNotFoundError(uri.get());
  return stream;
}
}  // namespace

P<IInStream> CStreamFactory::OpenInStream(const P<IURI>& uri, ShareMode share) {
  return OrFileNotFound(TryOpenInStream(uri, share), uri);
}

P<IResetableInStream> CStreamFactory::OpenResetableInStream(const P<IURI>& uri, ShareMode share) {
  return OrFileNotFound(TryOpenResetableInStream(uri, share), uri);
}

P<ISeekableInStream> CStreamFactory::OpenSeekableInStream(const P<IURI>& uri, ShareMode share) {
  return OrFileNotFound(TryOpenSeekableInStream(uri, share), uri);
}

P<IOutStream> CStreamFactory::OpenOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                            bool deleteOnClose) {
  return OrFileNotFound(TryOpenOutStream(uri, share, creation, deleteOnClose), uri);
}

P<IResetableOutStream> CStreamFactory::OpenResetableOutStream(const P<IURI>& uri, ShareMode share,
                                                              CreationMode creation, bool deleteOnClose) {
  return OrFileNotFound(TryOpenResetableOutStream(uri, share, creation, deleteOnClose), uri);
}

P<ISeekableOutStream> CStreamFactory::OpenSeekableOutStream(const P<IURI>& uri, ShareMode share,
                                                            CreationMode creation, bool deleteOnClose) {
  return OrFileNotFound(TryOpenSeekableOutStream(uri, share, creation, deleteOnClose), uri);
}

P<IIOStream> CStreamFactory::OpenIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                          bool deleteOnClose) {
  return OrFileNotFound(TryOpenIOStream(uri, share, creation, deleteOnClose), uri);
}

P<IResetableIOStream> CStreamFactory::OpenResetableIOStream(const P<IURI>& uri, ShareMode share,
                                                            CreationMode creation, bool deleteOnClose) {
  return OrFileNotFound(TryOpenResetableIOStream(uri, share, creation, deleteOnClose), uri);
}

P<ISeekableIOStream> CStreamFactory::OpenSeekableIOStream(const P<IURI>& uri, ShareMode share,
                                                          CreationMode creation, bool deleteOnClose) {
  return OrFileNotFound(TryOpenSeekableIOStream(uri, share, creation, deleteOnClose), uri);
}

}  // namespace lumo
