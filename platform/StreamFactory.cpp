#include "platform/StreamFactory.h"

#include "foundation/Exception.h"

namespace lumo {

P<IStreamBase> CStreamFactory::TryOpenKind(IStreamFactory& factory, const P<IURI>& uri, const StreamRequest& request) {
  const ShareMode s = request.share;
  const CreationMode c = request.creation;
  const bool d = request.deleteOnClose;
  switch (request.kind) {
    case StreamRequest::kIn: return factory.TryOpenInStream(uri, s);
    case StreamRequest::kResetableIn: return factory.TryOpenResetableInStream(uri, s);
    case StreamRequest::kSeekableIn: return factory.TryOpenSeekableInStream(uri, s);
    case StreamRequest::kOut: return factory.TryOpenOutStream(uri, s, c, d);
    case StreamRequest::kResetableOut: return factory.TryOpenResetableOutStream(uri, s, c, d);
    case StreamRequest::kSeekableOut: return factory.TryOpenSeekableOutStream(uri, s, c, d);
    case StreamRequest::kIO: return factory.TryOpenIOStream(uri, s, c, d);
    case StreamRequest::kResetableIO: return factory.TryOpenResetableIOStream(uri, s, c, d);
    case StreamRequest::kSeekableIO: return factory.TryOpenSeekableIOStream(uri, s, c, d);
  }
  return nullptr;
}

void CStreamFactory::ThrowFileNotFound(const P<IURI>& uri) { throw CFileNotFoundError(uri.get()); }

}  // namespace lumo
