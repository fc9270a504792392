// Names of files and streams: a parsed, immutable URI in the generic syntax
// (scheme, authority with user information, host and port, path, query,
// fragment). Errors about a file name the URI it is about.
//
//   lumo::P<lumo::IURI> base = lumo::make<lumo::CURI>(u"file:///C:/Program%20Files/Orbweave/");
//   lumo::P<lumo::IURI> pack = lumo::make<lumo::CURI>(u"lang/Orbweave.kvnLang")->resolveAgainst(*base);
//   pack->getPath();       // "/C:/Program Files/Orbweave/lang/Orbweave.kvnLang"
//   pack->getExtension();  // "kvnLang"
//
// Each component comes escaped (getRaw...: the characters of the text) and
// unescaped (get...: every %xx read as UTF-8), with a presence test. An
// absent component answers the null string, never the empty one:
// "http://a?" has an empty query, "http://a" has none.
#pragma once

#include <cstdint>

#include "foundation/IBase.h"
#include "foundation/Pointer.h"

namespace lumo {

// The components a URI is built from, for IURI::replace.
enum class URIComponent { kScheme, kUserInfo, kHost, kPort, kPath, kQuery, kFragment };

class IURI : public virtual IBase {
 public:
  // --- description and comparison ---

  // The complete text, escaped.
  virtual String getText() const = 0;
  // The URI as users are shown it: a file URI as its path, any other URI
  // as its text.
  virtual String getDisplayText() const = 0;
  // True when there is no scheme: a reference to resolve against a base.
  virtual bool isRelative() const = 0;
  // True when a scheme is followed by something other than "/" ("mailto:a@b").
  virtual bool isOpaque() const = 0;
  // Same text, with the scheme and the host compared without case.
  virtual bool equals(const IURI& other) const = 0;
  // Equal URIs (equals) have equal hash codes.
  virtual std::uint32_t hashCode() const = 0;

  // --- components ---

  virtual String getScheme() const = 0;
  virtual bool hasScheme() const = 0;
  // Everything after the scheme's colon up to the fragment.
  virtual String getRawSchemeSpecificPart() const = 0;
  virtual String getSchemeSpecificPart() const = 0;
  virtual bool hasSchemeSpecificPart() const = 0;
  // What follows "//" up to the path: [user information "@"] host [":" port].
  virtual String getRawAuthority() const = 0;
  virtual String getAuthority() const = 0;
  virtual bool hasAuthority() const = 0;
  virtual String getRawUserInfo() const = 0;
  virtual String getUserInfo() const = 0;
  virtual bool hasUserInfo() const = 0;
  // As written; a bracketed host literal keeps its brackets ("[::1]").
  virtual String getHost() const = 0;
  virtual bool hasHost() const = 0;
  // The port number; -1 when there is none or its text is no number.
  virtual std::int32_t getPort() const = 0;
  virtual String getPortText() const = 0;
  virtual bool hasPort() const = 0;
  virtual String getRawPath() const = 0;
  virtual String getPath() const = 0;
  virtual bool hasPath() const = 0;
  // The parts of the path between "/" characters, as an array of Strings.
  // A leading "/" opens the path and starts no segment: "/a/b/" has the
  // segments "a", "b" and "". An absent or empty path has none.
  virtual P<IConstArray> getRawPathSegments() const = 0;
  virtual P<IConstArray> getPathSegments() const = 0;
  // The last segment; the null string when there is none.
  virtual String getRawFileName() const = 0;
  virtual String getFileName() const = 0;

  // --- query, fragment, path segments, new URIs ---

  virtual String getRawQuery() const = 0;
  virtual String getQuery() const = 0;
  virtual bool hasQuery() const = 0;
  virtual String getRawFragment() const = 0;
  virtual String getFragment() const = 0;
  virtual bool hasFragment() const = 0;
  // The parts of the query between "&" characters, as an array of Strings;
  // an absent or empty query has none.
  virtual P<IConstArray> getRawQueryParameters() const = 0;
  virtual P<IConstArray> getQueryParameters() const = 0;
  // The unescaped value of the first parameter "name=value" with this
  // (unescaped) name: empty for a bare "name", null when there is none.
  virtual String getQueryParameter(const String& name) const = 0;
  // The text behind the last "." of the file name; null when it has none.
  virtual String getRawExtension() const = 0;
  virtual String getExtension() const = 0;
  virtual bool hasExtension() const = 0;
  // The folder above the last segment ("/a/b" and "/a/b/" give "/a/"),
  // without query and fragment; the root stays the root.
  virtual P<IURI> getParent() const = 0;
  // One segment below this path, which is taken as a folder; `name` is
  // unescaped and may hold no further segments ("/" is escaped).
  virtual P<IURI> getChild(const String& name) const = 0;
  // The same URI with the dot segments of its path removed.
  virtual P<IURI> normalize() const = 0;
  // This URI, as a reference, resolved against `base` (RFC 2396 section 5).
  virtual P<IURI> resolveAgainst(const IURI& base) const = 0;
  // A reference that resolves against `base` to this URI with its path
  // normalised; this URI unchanged when their schemes or authorities
  // differ, or either path is not absolute.
  virtual P<IURI> makeRelativeTo(const IURI& base) const = 0;
  // A new URI with one component, given unescaped (null: absent), in
  // place of this one's. A port text that is no number raises CParseError.
  virtual P<IURI> replace(URIComponent component, const String& value) const = 0;
};

}  // namespace lumo
