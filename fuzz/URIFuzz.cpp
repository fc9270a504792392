// Splits random texts as URIs and checks what must hold whatever the text:
// - splitting is lossless: the text of the parsed URI is the input, and
//   splitting that text again gives equal components;
// - building from the unescaped components either refuses the port with
//   CParseError or gives a URI that builds again to the same text (escaping
//   and unescaping are each other's inverse, normalising twice changes
//   nothing);
// - resolving the text as a reference against itself is stable: resolving
//   the result against the same base again gives the same text, unless the
//   result is still a relative path (which moves further on each time);
// - a URI made relative to that base resolves back to it (both with their
//   paths normalised: the empty reference stands for the base as it is).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/CString.h"
#include "foundation/CURI.h"
#include "foundation/Exception.h"

namespace {

using lumo::IURI;
using lumo::P;
using lumo::String;

std::string Shown(const String& text) {
  if (text.isNull()) return "<null>";
  const String utf8 = lumo::CString::convert(*text, lumo::GetUTF8CharEncoding());
  return std::string(reinterpret_cast<const char*>(utf8->data()), static_cast<std::size_t>(utf8->byteLength()));
}

void Check(bool ok, const char* what, const IURI& uri, const IURI* other = nullptr) {
  if (ok) return;
  std::fprintf(stderr, "uri: %s\n  uri   [%s]\n", what, Shown(uri.getText()).c_str());
  if (other) std::fprintf(stderr, "  other [%s]\n", Shown(other->getText()).c_str());
  std::abort();
}

bool Same(const String& a, const String& b) { return a.isNull() == b.isNull() && a == b; }

// Equal escaped components, each present in both or in neither.
bool SameComponents(const IURI& a, const IURI& b) {
  return Same(a.getScheme(), b.getScheme()) && Same(a.getRawAuthority(), b.getRawAuthority()) &&
         Same(a.getRawUserInfo(), b.getRawUserInfo()) && Same(a.getHost(), b.getHost()) &&
         Same(a.getPortText(), b.getPortText()) && a.getPort() == b.getPort() &&
         Same(a.getRawPath(), b.getRawPath()) && Same(a.getRawQuery(), b.getRawQuery()) &&
         Same(a.getRawFragment(), b.getRawFragment()) &&
         Same(a.getRawSchemeSpecificPart(), b.getRawSchemeSpecificPart());
}

P<IURI> Rebuilt(const IURI& uri) {
  return lumo::make<lumo::CURI>(uri.getScheme(), uri.getUserInfo(), uri.getHost(), uri.getPortText(), uri.getPath(),
                                uri.getQuery(), uri.getFragment());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  const String text = lumo::make<lumo::CUTF8String>(data, static_cast<std::int32_t>(size));
  const P<IURI> uri = lumo::make<lumo::CURI>(text);
  Check(Same(uri->getText(), text), "the text is not kept as given", *uri);
  const P<IURI> again = lumo::make<lumo::CURI>(uri->getText());
  Check(SameComponents(*uri, *again) && uri->equals(*again) && uri->hashCode() == again->hashCode(),
        "splitting the text again differs", *uri, again.get());
  Check(SameComponents(*uri, *lumo::make<lumo::CURI>(*uri)), "the copy differs", *uri);

  // Walk the derived forms; they must not fail.
  static_cast<void>(uri->getPathSegments()->getCount() + uri->getQueryParameters()->getCount());
  static_cast<void>(uri->getExtension().isNull() + uri->getDisplayText().isNull() + uri->isOpaque());
  static_cast<void>(uri->getParent()->getChild(uri->getFileName())->normalize()->getText());

  try {
    const P<IURI> built = Rebuilt(*uri);
    const P<IURI> twice = Rebuilt(*built);
    Check(Same(built->getText(), twice->getText()) && SameComponents(*built, *twice),
          "building from the components of a built URI differs", *built, twice.get());
  } catch (const lumo::CParseError&) {
    // A port text that is no number.
  }

  const P<IURI> resolved = uri->resolveAgainst(*uri);
  const bool stays = resolved->hasScheme() || resolved->hasAuthority() || resolved->getRawPath().startsWith("/") ||
                     !resolved->hasPath();
  if (stays) {
    const P<IURI> second = resolved->resolveAgainst(*uri);
    Check(Same(second->getText(), resolved->getText()), "resolving again moves", *resolved, second.get());
  }

  if (resolved->hasPath()) {
    const P<IURI> relative = resolved->makeRelativeTo(*uri);
    if (relative->isRelative() && !resolved->isRelative()) {
      const P<IURI> back = relative->resolveAgainst(*uri);
      Check(back->normalize()->equals(*resolved->normalize()), "the relative reference does not resolve back",
            *relative, back.get());
    }
  }
  return 0;
}
