// Opening streams by URI: the factories that serve URIs, and the manager
// that asks its registered factories in turn.
//
//   lumo::P<lumo::IIOStream> file = lumo::GetStreamManager()->OpenIOStream(
//       uri, lumo::kShareRead, lumo::kOpenAlways, /*deleteOnClose=*/false);
//
// Each of the nine stream kinds has a try form, which answers an empty
// pointer when the factory does not serve the URI, and a throwing form, which
// raises CFileNotFoundError for the URI instead. A factory decides whether it
// serves a URI before it touches any storage; once it serves it, failures to
// open raise in both forms.
#pragma once

#include <cstdint>

#include "platform/IStream.h"

namespace lumo {

// What other opens of the same file may do meanwhile.
using ShareMode = std::uint32_t;
inline constexpr ShareMode kShareExclusive = 0;
inline constexpr ShareMode kShareRead = 1;
inline constexpr ShareMode kShareReadWrite = 2;

// How an output or input/output stream finds its file. Input streams always
// open an existing file.
using CreationMode = std::uint32_t;
inline constexpr CreationMode kOpenExisting = 1;
inline constexpr CreationMode kCreateAlways = 2;  // an existing file is truncated
inline constexpr CreationMode kOpenAlways = 3;    // created when missing

class IStreamFactory : public virtual IBase {
 public:
  virtual P<IInStream> TryOpenInStream(const P<IURI>& uri, ShareMode share) = 0;
  virtual P<IInStream> OpenInStream(const P<IURI>& uri, ShareMode share) = 0;
  virtual P<IResetableInStream> TryOpenResetableInStream(const P<IURI>& uri, ShareMode share) = 0;
  virtual P<IResetableInStream> OpenResetableInStream(const P<IURI>& uri, ShareMode share) = 0;
  virtual P<ISeekableInStream> TryOpenSeekableInStream(const P<IURI>& uri, ShareMode share) = 0;
  virtual P<ISeekableInStream> OpenSeekableInStream(const P<IURI>& uri, ShareMode share) = 0;
  virtual P<IOutStream> TryOpenOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                         bool deleteOnClose) = 0;
  virtual P<IOutStream> OpenOutStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                      bool deleteOnClose) = 0;
  virtual P<IResetableOutStream> TryOpenResetableOutStream(const P<IURI>& uri, ShareMode share,
                                                           CreationMode creation, bool deleteOnClose) = 0;
  virtual P<IResetableOutStream> OpenResetableOutStream(const P<IURI>& uri, ShareMode share,
                                                        CreationMode creation, bool deleteOnClose) = 0;
  virtual P<ISeekableOutStream> TryOpenSeekableOutStream(const P<IURI>& uri, ShareMode share,
                                                         CreationMode creation, bool deleteOnClose) = 0;
  virtual P<ISeekableOutStream> OpenSeekableOutStream(const P<IURI>& uri, ShareMode share,
                                                      CreationMode creation, bool deleteOnClose) = 0;
  virtual P<IIOStream> TryOpenIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                       bool deleteOnClose) = 0;
  virtual P<IIOStream> OpenIOStream(const P<IURI>& uri, ShareMode share, CreationMode creation,
                                    bool deleteOnClose) = 0;
  virtual P<IResetableIOStream> TryOpenResetableIOStream(const P<IURI>& uri, ShareMode share,
                                                         CreationMode creation, bool deleteOnClose) = 0;
  virtual P<IResetableIOStream> OpenResetableIOStream(const P<IURI>& uri, ShareMode share,
                                                      CreationMode creation, bool deleteOnClose) = 0;
  virtual P<ISeekableIOStream> TryOpenSeekableIOStream(const P<IURI>& uri, ShareMode share,
                                                       CreationMode creation, bool deleteOnClose) = 0;
  virtual P<ISeekableIOStream> OpenSeekableIOStream(const P<IURI>& uri, ShareMode share,
                                                    CreationMode creation, bool deleteOnClose) = 0;
};

// A factory that asks the factories registered with it, in registration order.
class IStreamManager : public virtual IStreamFactory {
 public:
  // Appends `factory`; the same factory may be registered more than once.
  virtual void AddFactory(const P<IStreamFactory>& factory) = 0;
  // Removes the first registration of this very object; others are ignored.
  virtual void RemoveFactory(const P<IStreamFactory>& factory) = 0;
};

}  // namespace lumo
