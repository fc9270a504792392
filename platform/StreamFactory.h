// The common base of stream factories: the nine throwing forms, each its try
// form followed by CFileNotFoundError for an empty answer. A factory derives
// from it and implements the nine try forms.
#pragma once

#include "foundation/Object.h"
#include "platform/IStreamFactory.h"

namespace lumo {

class CStreamFactory : public CObject, public virtual IStreamFactory {
 public:
  P<IInStream> OpenInStream(const P<IURI>& uri, ShareMode share) override;
  P<IResetableInStream> OpenResetableInStream(const P<IURI>& uri, ShareMode share) override;
  P<ISeekableInStream> OpenSeekableInStream(const P<IURI>& uri, ShareMode share) override;
  P<IOutStream> OpenOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                              bool deleteOnClose) override;
  P<IResetableOutStream> OpenResetableOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                                bool deleteOnClose) override;
  P<ISeekableOutStream> OpenSeekableOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                              bool deleteOnClose) override;
  P<IIOStream> OpenIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                            bool deleteOnClose) override;
  P<IResetableIOStream> OpenResetableIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                              bool deleteOnClose) override;
  P<ISeekableIOStream> OpenSeekableIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                            bool deleteOnClose) override;

 protected:
  CStreamFactory() = default;
  ~CStreamFactory() override = default;
};

}  // namespace lumo
