// The errors of the stream family. They carry fixed English texts: they
// describe faults of the program or of a file's contents, not situations a
// user is asked to act on.
//
//   if (stream->Read(buffer, count) < count) throw lumo::CEndOfStreamError(uri.get());
#pragma once

#include "foundation/Exception.h"

namespace lumo {

// A failure of a stream; the text is the thrower's and may name the stream's
// URI through "%URI%".
class CStreamError : public CURIError {
 public:
  CStreamError(String description, IURI* uri);
  P<CException> clone() const override;
};

// "The stream has been closed."
class CStreamClosedError : public CStreamError {
 public:
  CStreamClosedError();
  P<CException> clone() const override;
};

// "Unexpected end of data stream.", or with a URI
// "Unexpected end of data stream (uri: '<text of the URI>')."
class CEndOfStreamError : public CStreamError {
 public:
  explicit CEndOfStreamError(IURI* uri = nullptr);
  P<CException> clone() const override;
};

}  // namespace lumo
