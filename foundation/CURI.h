// The library's URI: built from a complete text, from its components, or as
// a copy of any IURI. Immutable once built, so threads may share one.
//
//   lumo::P<lumo::CURI> parsed = lumo::make<lumo::CURI>(u"http://[::1]:8080/a%20b?x=1#top");
//   lumo::P<lumo::CURI> built = lumo::make<lumo::CURI>(u"file", nullptr, nullptr, nullptr,
//                                                      u"C:/a b/c.txt", nullptr, nullptr);
//   built->getText();  // "file:C:/a%20b/c.txt"
#pragma once

#include <cstdint>

#include "foundation/IArray.h"  // the segment and parameter lists
#include "foundation/IURI.h"
#include "foundation/Object.h"
#include "foundation/String.h"

namespace lumo {

class CURI : public CObject, public IURI {
 public:
  // Takes the text unchanged (it must already be escaped) and splits it by
  // the generic syntax; text that breaks the syntax is kept as given and
  // split as far as it goes. The null string raises CInvalidArgError.
  explicit CURI(const String& text);
  // Escapes each component given (null: absent) and assembles the text; the
  // path gets a leading "/" when there is an authority and loses its dot
  // segments. A port text that is no number raises CParseError.
  CURI(const String& scheme, const String& userInfo, const String& host, const String& portText,
       const String& path, const String& query, const String& fragment);
  // Every component through the other URI's getters.
  explicit CURI(const IURI& other);

  String getText() const override { return text; }
  String getDisplayText() const override;
  bool isRelative() const override { return relative; }
  bool isOpaque() const override;
  bool equals(const IURI& other) const override;
  std::uint32_t hashCode() const override;

  String getScheme() const override { return scheme; }
  bool hasScheme() const override { return !scheme.isNull(); }
  String getRawSchemeSpecificPart() const override { return rawSchemeSpecificPart; }
  String getSchemeSpecificPart() const override { return schemeSpecificPart; }
  bool hasSchemeSpecificPart() const override { return !rawSchemeSpecificPart.isNull(); }
  String getRawAuthority() const override { return rawAuthority; }
  String getAuthority() const override { return authority; }
  bool hasAuthority() const override { return !rawAuthority.isNull(); }
  String getRawUserInfo() const override { return rawUserInfo; }
  String getUserInfo() const override { return userInfo; }
  bool hasUserInfo() const override { return !rawUserInfo.isNull(); }
  String getHost() const override { return host; }
  bool hasHost() const override { return !host.isNull(); }
  std::int32_t getPort() const override { return port; }
  String getPortText() const override { return portText; }
  bool hasPort() const override { return !portText.isNull(); }
  String getRawPath() const override { return rawPath; }
  String getPath() const override { return path; }
  bool hasPath() const override { return !rawPath.isNull(); }
  P<IConstArray> getRawPathSegments() const override;
  P<IConstArray> getPathSegments() const override;
  String getRawFileName() const override;
  String getFileName() const override;

  String getRawQuery() const override { return rawQuery; }
  String getQuery() const override { return query; }
  bool hasQuery() const override { return !rawQuery.isNull(); }
  String getRawFragment() const override { return rawFragment; }
  String getFragment() const override { return fragment; }
  bool hasFragment() const override { return !rawFragment.isNull(); }
  P<IConstArray> getRawQueryParameters() const override;
  P<IConstArray> getQueryParameters() const override;
  String getQueryParameter(const String& name) const override;
  String getRawExtension() const override;
  String getExtension() const override;
  bool hasExtension() const override { return !getRawExtension().isNull(); }
  P<IURI> getParent() const override;
  P<IURI> getChild(const String& name) const override;
  P<IURI> normalize() const override;
  P<IURI> resolveAgainst(const IURI& base) const override;
  P<IURI> makeRelativeTo(const IURI& base) const override;
  P<IURI> replace(URIComponent component, const String& value) const override;

 protected:
  ~CURI() override = default;

 private:
  struct Parts;
  explicit CURI(const Parts& parts);
  static P<IURI> build(const Parts& parts);
  // This URI's escaped components.
  Parts parts() const;
  // Sets every component from escaped ones, and their unescaped forms.
  void take(const Parts& parts);
  // Sets the text and every component from escaped components.
  void assemble(Parts parts);

  String text;
  String scheme;
  String rawSchemeSpecificPart, schemeSpecificPart;
  String rawAuthority, authority;
  String rawUserInfo, userInfo;
  String host;
  String portText;
  std::int32_t port = -1;
  String rawPath, path;
  String rawQuery, query;
  String rawFragment, fragment;
  bool relative = true;
};

}  // namespace lumo
