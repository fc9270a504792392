// The common base of stream factories: the nine kinds of stream, each in its
// try form and its throwing form, all served by one open that a factory
// implements. The throwing form raises CFileNotFoundError where the try form
// answers nothing.
#pragma once

#include "foundation/Cast.h"
#include "foundation/Object.h"
#include "platform/IStreamFactory.h"

namespace lumo {

// What one open asks for: the kind of stream, and how its file is shared and
// found. Input kinds always open an existing file and never delete it. The
// kinds come in three runs: input, output, input and output.
struct StreamRequest {
  enum Kind { kIn, kResetableIn, kSeekableIn, kOut, kResetableOut, kSeekableOut, kIO, kResetableIO, kSeekableIO };
  Kind kind;
  ShareMode share;
  CreationMode creation = kOpenExisting;
  bool deleteOnClose = false;
};

class CStreamFactory : public CObject, public virtual IStreamFactory {
 public:
  // Asks `factory` for the stream `request` names, through the entry point of
  // that kind, so a factory that serves one kind its own way is heard.
  static P<IStreamBase> TryOpenKind(IStreamFactory& factory, const P<IURI>& uri, const StreamRequest& request);

  P<IInStream> TryOpenInStream(const P<IURI>& uri, ShareMode share) override {
    return as<IInStream>(uri, {StreamRequest::kIn, share});
  }
  P<IResetableInStream> TryOpenResetableInStream(const P<IURI>& uri, ShareMode share) override {
    return as<IResetableInStream>(uri, {StreamRequest::kResetableIn, share});
  }
  P<ISeekableInStream> TryOpenSeekableInStream(const P<IURI>& uri, ShareMode share) override {
    return as<ISeekableInStream>(uri, {StreamRequest::kSeekableIn, share});
  }
  P<IOutStream> TryOpenOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                 bool deleteOnClose) override {
    return as<IOutStream>(uri, {StreamRequest::kOut, share, creation, deleteOnClose});
  }
  P<IResetableOutStream> TryOpenResetableOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                                   bool deleteOnClose) override {
    return as<IResetableOutStream>(uri, {StreamRequest::kResetableOut, share, creation, deleteOnClose});
  }
  P<ISeekableOutStream> TryOpenSeekableOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                                 bool deleteOnClose) override {
    return as<ISeekableOutStream>(uri, {StreamRequest::kSeekableOut, share, creation, deleteOnClose});
  }
  P<IIOStream> TryOpenIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                               bool deleteOnClose) override {
    return as<IIOStream>(uri, {StreamRequest::kIO, share, creation, deleteOnClose});
  }
  P<IResetableIOStream> TryOpenResetableIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                                 bool deleteOnClose) override {
    return as<IResetableIOStream>(uri, {StreamRequest::kResetableIO, share, creation, deleteOnClose});
  }
  P<ISeekableIOStream> TryOpenSeekableIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                               bool deleteOnClose) override {
    return as<ISeekableIOStream>(uri, {StreamRequest::kSeekableIO, share, creation, deleteOnClose});
  }

  P<IInStream> OpenInStream(const P<IURI>& uri, ShareMode share) override {
    return found(TryOpenInStream(uri, share), uri);
  }
  P<IResetableInStream> OpenResetableInStream(const P<IURI>& uri, ShareMode share) override {
    return found(TryOpenResetableInStream(uri, share), uri);
  }
  P<ISeekableInStream> OpenSeekableInStream(const P<IURI>& uri, ShareMode share) override {
    return found(TryOpenSeekableInStream(uri, share), uri);
  }
  P<IOutStream> OpenOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation, bool deleteOnClose) override {
    return found(TryOpenOutStream(uri, share, creation, deleteOnClose), uri);
  }
  P<IResetableOutStream> OpenResetableOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                                bool deleteOnClose) override {
    return found(TryOpenResetableOutStream(uri, share, creation, deleteOnClose), uri);
  }
  P<ISeekableOutStream> OpenSeekableOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                              bool deleteOnClose) override {
    return found(TryOpenSeekableOutStream(uri, share, creation, deleteOnClose), uri);
  }
  P<IIOStream> OpenIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation, bool deleteOnClose) override {
    return found(TryOpenIOStream(uri, share, creation, deleteOnClose), uri);
  }
  P<IResetableIOStream> OpenResetableIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                              bool deleteOnClose) override {
    return found(TryOpenResetableIOStream(uri, share, creation, deleteOnClose), uri);
  }
  P<ISeekableIOStream> OpenSeekableIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                            bool deleteOnClose) override {
    return found(TryOpenSeekableIOStream(uri, share, creation, deleteOnClose), uri);
  }

 protected:
  CStreamFactory() = default;
  ~CStreamFactory() override = default;

  // The one open behind every try form: a stream of the kind asked for, or
  // nothing when this factory does not serve the URI. Failing to open a URI
  // it serves raises.
  virtual P<IStreamBase> TryOpen(const P<IURI>& uri, const StreamRequest& request) = 0;

 private:
  // The answer as the interface its kind promises; CCastError when a
  // factory answered a stream of another kind.
  template <class Stream>
  P<Stream> as(const P<IURI>& uri, const StreamRequest& request) {
    const P<IStreamBase> stream = TryOpen(uri, request);
    return P<Stream>::share(castOrThrow<Stream>(stream));
  }
  // The throwing forms: CFileNotFoundError for the URI instead of nothing.
  template <class Stream>
  static P<Stream> found(P<Stream> stream, const P<IURI>& uri) {
    if (!stream) ThrowFileNotFound(uri);
    return stream;
  }
  [[noreturn]] static void ThrowFileNotFound(const P<IURI>& uri);
};

}  // namespace lumo
