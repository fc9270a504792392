#include "platform/StreamError.h"

namespace lumo {

namespace {
template <class Error>
P<CException> Clone(const Error& error) {
  return P<CException>::adopt(new Error(error));
}

String EndOfStreamText(IURI* uri) {
  if (!uri) return "Unexpected end of data stream.";
  return "Unexpected end of data stream (uri: '" + uri->getText() + "').";
}
}  // namespace

CStreamError::CStreamError(String description, IURI* uri) : CURIError(std::move(description), uri) {}
P<CException> CStreamError::clone() const { return Clone(*this); }

CStreamClosedError::CStreamClosedError() : CStreamError("The stream has been closed.", nullptr) {}
P<CException> CStreamClosedError::clone() const { return Clone(*this); }

CEndOfStreamError::CEndOfStreamError(IURI* uri) : CStreamError(EndOfStreamText(uri), uri) {}
P<CException> CEndOfStreamError::clone() const { return Clone(*this); }

}  // namespace lumo
