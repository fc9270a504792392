#include "foundation/CURI.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "compat/win32/Utf8.h"
#include "foundation/CString.h"
#include "foundation/Exception.h"
#include "foundation/IArray.h"

namespace lumo {

namespace {

// Components are scanned as code points; indexes into this text are the
// character indexes that String::slice takes.
using Text = std::u32string;
constexpr std::size_t kNowhere = Text::npos;

// Characters that components allow besides the unreserved ones.
constexpr char kUserInfoSet[] = ";:,&=+$";
constexpr char kPathSet[] = ";:,/@&=+$";
constexpr char kSegmentSet[] = ";:,@&=+$";
constexpr char kQuerySet[] = ";:,/?@&=+$";

Text CodePoints(const String& text) {
  Text points;
  if (text.isNull()) return points;
  const std::int32_t length = text.length();
  points.reserve(static_cast<std::size_t>(length));
  StringPosition at{0, 0};
  for (std::int32_t i = 0; i < length; ++i) points.push_back(text->nextChar(at));
  return points;
}

// Latin-1 when every character fits, else UTF-16.
String MakeString(const Text& text) {
  if (std::all_of(text.begin(), text.end(), [](char32_t c) { return c <= 0xFF; })) {
    const std::string bytes(text.begin(), text.end());
    return make<CLatin1String>(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  }
  std::u16string units;
  for (const char32_t c : text) {
    if (c > 0xFFFF) {
      units.push_back(compat::win32::HighSurrogateOf(c));
      units.push_back(compat::win32::LowSurrogateOf(c));
    } else {
      units.push_back(static_cast<char16_t>(c));
    }
  }
  return make<CWCharString>(units.data(), static_cast<std::int32_t>(2 * units.size()));
}

bool IsAsciiLetter(char32_t c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool IsDigit(char32_t c) { return c >= '0' && c <= '9'; }

int HexValue(char32_t c) {
  if (IsDigit(c)) return static_cast<int>(c - '0');
  if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') return static_cast<int>((c | 0x20) - 'a' + 10);
  return -1;
}

// A letter followed by letters, digits, "+", "-" and ".".
bool IsScheme(const Text& text, std::size_t end) {
  if (end == 0 || !IsAsciiLetter(text[0])) return false;
  return std::all_of(text.begin() + 1, text.begin() + static_cast<std::ptrdiff_t>(end), [](char32_t c) {
    return IsAsciiLetter(c) || IsDigit(c) || c == '+' || c == '-' || c == '.';
  });
}

bool StaysUnescaped(char32_t c, const char* allowed) {
  if (c >= 0x80 || IsAsciiLetter(c) || IsDigit(c)) return true;
  const std::string_view unreserved = "-_.!~*'()";
  return unreserved.find(static_cast<char>(c)) != std::string_view::npos ||
         (c != 0 && std::string_view(allowed).find(static_cast<char>(c)) != std::string_view::npos);
}

// Every ASCII character outside the unreserved ones and `allowed` as "%xx"
// with lower-case digits; non-ASCII characters are never escaped.
String Escape(const String& component, const char* allowed) {
  if (component.isNull()) return component;
  const Text text = CodePoints(component);
  if (std::all_of(text.begin(), text.end(), [allowed](char32_t c) { return StaysUnescaped(c, allowed); })) {
    return component;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  Text escaped;
  for (const char32_t c : text) {
    if (StaysUnescaped(c, allowed)) {
      escaped.push_back(c);
    } else {
      escaped += {U'%', static_cast<char32_t>(kHex[c >> 4]), static_cast<char32_t>(kHex[c & 0xF])};
    }
  }
  return MakeString(escaped);
}

// Every run of "%xx" read as UTF-8; bytes that form no character keep their
// "%xx", as does a "%" without two hexadecimal digits.
String Unescape(const String& component) {
  if (component.isNull() || component->find(u'%').isNone()) return component;
  const Text text = CodePoints(component);
  const auto escapeAt = [&text](std::size_t i) {
    return i + 2 < text.size() && text[i] == '%' && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0;
  };
  Text plain;
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < text.size();) {
    if (!escapeAt(i)) {
      plain.push_back(text[i++]);
      continue;
    }
    const std::size_t runStart = i;
    bytes.clear();
    for (; escapeAt(i); i += 3) {
      bytes.push_back(static_cast<std::uint8_t>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
    }
    for (std::size_t b = 0; b < bytes.size();) {
      std::size_t used = 0;
      const char32_t c = compat::win32::DecodeUtf8(bytes.data() + b, bytes.size() - b, used);
      if (c != compat::win32::kNotUtf8) {
        plain.push_back(c);
        b += used;
      } else {
        plain.append(text, runStart + 3 * b, 3);
        ++b;
      }
    }
  }
  return MakeString(plain);
}

// The decimal value of a port text of digits only; -1 for anything else.
std::int32_t PortNumber(const String& portText) {
  if (portText.isNull() || portText.isEmpty()) return -1;
  const Text text = CodePoints(portText);
  return std::all_of(text.begin(), text.end(), IsDigit) ? parseInt(portText, 10) : -1;
}

String Slice(const String& text, std::size_t start, std::size_t end) {
  return text.slice(static_cast<std::int32_t>(start), static_cast<std::int32_t>(end));
}

// The parts of `points` from `start` on between `separator` characters,
// copied (slices would each walk the text from its start).
std::vector<String> Split(const Text& points, std::size_t start, char32_t separator) {
  std::vector<String> parts;
  for (std::size_t from = start;;) {
    const std::size_t to = std::min(points.find(separator, from), points.size());
    parts.push_back(MakeString(points.substr(from, to - from)));
    if (to == points.size()) return parts;
    from = to + 1;
  }
}

P<IConstArray> ArrayOf(const std::vector<String>& parts, String (*map)(const String&)) {
  const P<CConstArray> array = make<CConstArray>();
  for (const String& part : parts) array->add((map ? map(part) : part).get());
  return array;
}

// The raw path's segments: "/a/b/" gives "a", "b" and "".
std::vector<String> Segments(const String& rawPath) {
  const Text points = CodePoints(rawPath);
  if (points.empty()) return {};
  return Split(points, points[0] == '/' ? 1 : 0, '/');
}

// The raw query's parameters; an empty query has none.
std::vector<String> Parameters(const String& rawQuery) {
  const Text points = CodePoints(rawQuery);
  return points.empty() ? std::vector<String>() : Split(points, 0, '&');
}

// Removes "." segments and resolves ".." against the segment before it, as
// far as there is one that is not "..". A path ending in "." or ".." keeps
// its closing "/". ".." above the root stays.
Text RemoveDotSegments(const Text& path) {
  const bool absolute = !path.empty() && path[0] == '/';
  std::vector<Text> kept;
  std::size_t from = absolute ? 1 : 0;
  if (from == path.size()) return path;
  for (;;) {
    const std::size_t to = std::min(path.find('/', from), path.size());
    const bool last = to == path.size();
    const Text segment = path.substr(from, to - from);
    if (segment == U".") {
      if (last) kept.emplace_back();
    } else if (segment == U".." && !kept.empty() && kept.back() != U"..") {
      kept.pop_back();
      if (last) kept.emplace_back();
    } else {
      kept.push_back(segment);
    }
    if (last) break;
    from = to + 1;
  }
  Text joined = absolute ? U"/" : U"";
  for (std::size_t i = 0; i < kept.size(); ++i) joined += (i ? U"/" : U"") + kept[i];
  return joined;
}

String RemoveDotSegments(const String& path) {
  return path.isNull() ? path : MakeString(RemoveDotSegments(CodePoints(path)));
}

bool SameText(const String& a, const String& b, bool noCase = false) {
  if (a.isNull() || b.isNull()) return a.isNull() == b.isNull();
  return noCase ? a.equalsNoCase(b) : a == b;
}

// The text with the scheme and the host in lower case: equal URIs have
// equal keys.
Text ComparisonKey(const IURI& uri) {
  const auto lower = [](const String& text) { return CodePoints(text.isNull() ? text : text->toLowerCase()); };
  Text key;
  if (uri.hasScheme()) key += lower(uri.getScheme()) + U":";
  if (uri.hasAuthority()) {
    key += U"//";
    if (uri.hasUserInfo()) key += CodePoints(uri.getRawUserInfo()) + U"@";
    key += lower(uri.getHost());
    if (uri.hasPort()) key += U":" + CodePoints(uri.getPortText());
  }
  key += CodePoints(uri.getRawPath());
  if (uri.hasQuery()) key += U"?" + CodePoints(uri.getRawQuery());
  if (uri.hasFragment()) key += U"#" + CodePoints(uri.getRawFragment());
  return key;
}

// A host that holds ":" is an IPv6 literal and goes in brackets.
String BracketedHost(const String& host) {
  if (host.isNull() || host->find(u':').isNone() || host.startsWith("[")) return host;
  return "[" + host + "]";
}

// A component's path, escaped and without dot segments; with an authority
// it starts with "/".
String PreparedPath(const String& path, bool withAuthority) {
  if (path.isNull()) return path;
  return RemoveDotSegments(Escape(withAuthority && !path.startsWith("/") ? "/" + path : path, kPathSet));
}

}  // namespace

// The escaped components of a URI being assembled.
struct CURI::Parts {
  String scheme, userInfo, host, portText, path, query, fragment;

  bool hasAuthority() const { return !userInfo.isNull() || !host.isNull() || !portText.isNull(); }
};

CURI::CURI(const String& given) : text(given) {
  if (given.isNull()) throw CInvalidArgError(nullptr, &typeid(CURI), "CURI", "the text is the null string");
  // scheme ":" ["//" authority] path ["?" query] ["#" fragment], each part
  // ending at the first character that may open one of the parts after it.
  const Text points = CodePoints(text);
  const std::size_t end = points.size();
  const auto upTo = [&points, end](const char32_t* stops, std::size_t from) {
    return std::min(points.find_first_of(stops, from), end);
  };
  Parts found;
  std::size_t at = 0;
  if (const std::size_t colon = upTo(U":/?#", 0); colon < end && points[colon] == ':' && IsScheme(points, colon)) {
    found.scheme = Slice(text, 0, colon);
    at = colon + 1;
    rawSchemeSpecificPart = Slice(text, at, upTo(U"#", at));
  }
  if (points.compare(at, 2, U"//") == 0) {
    const std::size_t start = at + 2;
    at = upTo(U"/?#", start);
    rawAuthority = Slice(text, start, at);
    // The user information ends at the last "@"; a ":" behind the host's
    // closing "]" (if any) opens the port.
    std::size_t hostStart = start;
    if (const std::size_t sign = points.rfind('@', at - 1); sign != kNowhere && sign >= start) {
      found.userInfo = Slice(text, start, sign);
      hostStart = sign + 1;
    }
    std::size_t hostEnd = at;
    if (const std::size_t mark = points.find_last_of(U":]", at - 1);
        mark != kNowhere && mark >= hostStart && points[mark] == ':') {
      found.portText = Slice(text, mark + 1, at);
      hostEnd = mark;
    }
    found.host = Slice(text, hostStart, hostEnd);
  }
  const std::size_t pathEnd = upTo(U"?#", at);
  if (pathEnd > at) found.path = Slice(text, at, pathEnd);
  at = pathEnd;
  if (at < end && points[at] == '?') {
    at = upTo(U"#", at + 1);
    found.query = Slice(text, pathEnd + 1, at);
  }
  if (at < end) found.fragment = Slice(text, at + 1, end);
  take(found);
}

CURI::CURI(const String& scheme, const String& userInfo, const String& host, const String& portText,
           const String& path, const String& query, const String& fragment) {
  if (!portText.isNull()) parseInt(portText, 10);
  Parts escaped{scheme, Escape(userInfo, kUserInfoSet), BracketedHost(host), portText, nullptr,
                Escape(query, kQuerySet), Escape(fragment, kQuerySet)};
  escaped.path = PreparedPath(path, escaped.hasAuthority());
  assemble(escaped);
}

CURI::CURI(const IURI& other)
    : text(other.getText()),
      scheme(other.getScheme()),
      rawSchemeSpecificPart(other.getRawSchemeSpecificPart()),
      schemeSpecificPart(other.getSchemeSpecificPart()),
      rawAuthority(other.getRawAuthority()),
      authority(other.getAuthority()),
      rawUserInfo(other.getRawUserInfo()),
      userInfo(other.getUserInfo()),
      host(other.getHost()),
      portText(other.getPortText()),
      port(other.getPort()),
      rawPath(other.getRawPath()),
      path(other.getPath()),
      rawQuery(other.getRawQuery()),
      query(other.getQuery()),
      rawFragment(other.getRawFragment()),
      fragment(other.getFragment()),
      relative(other.isRelative()) {}

CURI::CURI(const Parts& parts) { assemble(parts); }

P<IURI> CURI::build(const Parts& parts) { return P<IURI>::adopt(new CURI(parts)); }

CURI::Parts CURI::parts() const { return {scheme, rawUserInfo, host, portText, rawPath, rawQuery, rawFragment}; }

void CURI::take(const Parts& parts) {
  scheme = parts.scheme;
  rawUserInfo = parts.userInfo;
  userInfo = Unescape(rawUserInfo);
  host = parts.host;
  portText = parts.portText;
  port = PortNumber(portText);
  rawPath = parts.path;
  path = Unescape(rawPath);
  rawQuery = parts.query;
  query = Unescape(rawQuery);
  rawFragment = parts.fragment;
  fragment = Unescape(rawFragment);
  relative = scheme.isNull();
  schemeSpecificPart = Unescape(rawSchemeSpecificPart);
  authority = Unescape(rawAuthority);
}

void CURI::assemble(Parts parts) {
  const bool withAuthority = parts.hasAuthority();
  // Keep the text from reading differently: a path behind an authority
  // starts with "/"; without one, a path starting with "//" would read as
  // an authority, and in a reference without a scheme a ":" in the first
  // segment would end a scheme.
  const Text pathPoints = CodePoints(parts.path);
  if (withAuthority && !pathPoints.empty() && pathPoints[0] != '/') {
    parts.path = "/" + parts.path;
  } else if (!withAuthority && pathPoints.compare(0, 2, U"//") == 0) {
    parts.path = "/." + parts.path;
  } else if (!withAuthority && parts.scheme.isNull() &&
             std::min(pathPoints.find(':'), pathPoints.size()) < std::min(pathPoints.find('/'), pathPoints.size())) {
    parts.path = "./" + parts.path;
  }
  Text whole;
  if (withAuthority) {
    Text authorityText;
    if (!parts.userInfo.isNull()) authorityText += CodePoints(parts.userInfo) + U"@";
    authorityText += CodePoints(parts.host);
    if (!parts.portText.isNull()) authorityText += U":" + CodePoints(parts.portText);
    rawAuthority = MakeString(authorityText);
    whole += U"//" + authorityText;
  }
  whole += CodePoints(parts.path);
  if (!parts.query.isNull()) whole += U"?" + CodePoints(parts.query);
  if (!parts.scheme.isNull()) rawSchemeSpecificPart = MakeString(whole);
  if (!parts.fragment.isNull()) whole += U"#" + CodePoints(parts.fragment);
  text = parts.scheme.isNull() ? MakeString(whole) : MakeString(CodePoints(parts.scheme) + U":" + whole);
  take(parts);
}

String CURI::getDisplayText() const {
  if (scheme.isNull() || !scheme.equalsNoCase("file")) return text;
  // "/C:/a" and "C|/a" name the drive C:, "//server/a" a share; other
  // paths are shown as they are.
  Text shown = CodePoints(path);
  if (shown.size() >= 3 && shown[0] == '/' && IsAsciiLetter(shown[1]) && (shown[2] == ':' || shown[2] == '|')) {
    shown.erase(0, 1);
  }
  const bool drive = shown.size() >= 2 && IsAsciiLetter(shown[0]) && (shown[1] == ':' || shown[1] == '|');
  const bool share = !host.isNull() && !host.isEmpty() && !host.equalsNoCase("localhost");
  if (!drive && !share) return MakeString(shown);
  if (drive) shown[1] = ':';
  if (share) shown = U"//" + CodePoints(host) + shown;
  std::replace(shown.begin(), shown.end(), U'/', U'\\');
  return MakeString(shown);
}

bool CURI::isOpaque() const {
  return !rawSchemeSpecificPart.isNull() && !rawSchemeSpecificPart.isEmpty() && !rawSchemeSpecificPart.startsWith("/");
}

bool CURI::equals(const IURI& other) const { return ComparisonKey(*this) == ComparisonKey(other); }

std::uint32_t CURI::hashCode() const {
  std::uint32_t hash = 0;
  for (const char32_t c : ComparisonKey(*this)) hash = hash * 31 + c;
  return hash;
}

P<IConstArray> CURI::getRawPathSegments() const { return ArrayOf(Segments(rawPath), nullptr); }
P<IConstArray> CURI::getPathSegments() const { return ArrayOf(Segments(rawPath), Unescape); }

String CURI::getRawFileName() const {
  const std::vector<String> segments = Segments(rawPath);
  return segments.empty() ? String() : segments.back();
}

String CURI::getFileName() const { return Unescape(getRawFileName()); }

P<IConstArray> CURI::getRawQueryParameters() const { return ArrayOf(Parameters(rawQuery), nullptr); }
P<IConstArray> CURI::getQueryParameters() const { return ArrayOf(Parameters(rawQuery), Unescape); }

String CURI::getQueryParameter(const String& name) const {
  if (name.isNull()) return name;
  for (const String& parameter : Parameters(rawQuery)) {
    const StringPosition equals = parameter->find(u'=');
    const String key = equals.isNone() ? parameter : parameter->slice(0, equals.index);
    if (Unescape(key) == name) {
      return equals.isNone() ? String("") : Unescape(parameter->slice(equals.index + 1));
    }
  }
  return String();
}

String CURI::getRawExtension() const {
  const String name = getRawFileName();
  if (name.isNull()) return name;
  const StringPosition dot = name->findLast(u'.');
  return dot.isNone() ? String() : name->slice(dot.index + 1);
}

String CURI::getExtension() const { return Unescape(getRawExtension()); }

P<IURI> CURI::getParent() const {
  Text points = CodePoints(rawPath);
  std::size_t end = points.size();
  if (end > 1 && points[end - 1] == '/') --end;
  const std::size_t slash = end == 0 ? kNowhere : points.rfind('/', end - 1);
  Parts parent = parts();
  parent.path = slash == kNowhere ? String() : Slice(rawPath, 0, slash + 1);
  parent.query = parent.fragment = nullptr;
  return build(parent);
}

P<IURI> CURI::getChild(const String& name) const {
  Parts child = parts();
  const String segment = Escape(name.isNull() ? String("") : name, kSegmentSet);
  const bool folder = rawPath.isNull() || rawPath.isEmpty() || rawPath.endsWith("/");
  child.path = rawPath.isNull() ? segment : rawPath + (folder ? "" : "/") + segment;
  child.query = child.fragment = nullptr;
  return build(child);
}

P<IURI> CURI::normalize() const {
  Parts normal = parts();
  normal.path = RemoveDotSegments(rawPath);
  return build(normal);
}

P<IURI> CURI::resolveAgainst(const IURI& base) const {
  // A URI with a scheme stands for itself; an empty reference is the base
  // document with the reference's fragment.
  if (hasScheme()) return lumo::make<CURI>(*this);
  Parts resolved{base.getScheme(), base.getRawUserInfo(), base.getHost(), base.getPortText(),
                 base.getRawPath(), base.getRawQuery(),   rawFragment};
  if (!hasPath() && !hasAuthority() && !hasQuery()) return build(resolved);
  resolved.query = rawQuery;
  if (hasAuthority()) {
    resolved.userInfo = rawUserInfo;
    resolved.host = host;
    resolved.portText = portText;
    resolved.path = rawPath;
  } else if (!rawPath.isNull() && rawPath.startsWith("/")) {
    resolved.path = rawPath;
  } else {
    // The base's folder (all of its path up to the last "/") with the
    // reference's path behind it, without dot segments.
    const Text basePath = CodePoints(resolved.path);
    const std::size_t slash = basePath.rfind('/');
    Text merged = base.hasAuthority() && basePath.empty() ? U"/"
                  : slash == kNowhere                    ? U""
                                                         : basePath.substr(0, slash + 1);
    merged += CodePoints(rawPath);
    resolved.path = MakeString(RemoveDotSegments(merged));
  }
  return build(resolved);
}

P<IURI> CURI::makeRelativeTo(const IURI& base) const {
  const bool sameServer =
      SameText(scheme, base.getScheme(), true) && hasAuthority() == base.hasAuthority() &&
      SameText(rawUserInfo, base.getRawUserInfo()) && SameText(host, base.getHost(), true) &&
      SameText(portText, base.getPortText());
  // With an authority an empty path is the root.
  const auto absolutePath = [](const String& path, bool withAuthority) {
    Text points = CodePoints(path);
    if (points.empty() && withAuthority) points = U"/";
    return points.empty() || points[0] != '/' ? Text() : RemoveDotSegments(points);
  };
  const Text mine = absolutePath(rawPath, hasAuthority());
  const Text theirs = absolutePath(base.getRawPath(), base.hasAuthority());
  if (!sameServer || mine.empty() || theirs.empty()) return lumo::make<CURI>(*this);

  Parts relativeParts{nullptr, nullptr, nullptr, nullptr, nullptr, rawQuery, rawFragment};
  if (mine == theirs && SameText(rawQuery, base.getRawQuery())) {
    relativeParts.query = nullptr;
    return build(relativeParts);
  }
  const auto split = [](const Text& absolute) {
    std::vector<Text> segments;
    for (std::size_t from = 1;;) {
      const std::size_t to = std::min(absolute.find('/', from), absolute.size());
      segments.push_back(absolute.substr(from, to - from));
      if (to == absolute.size()) return segments;
      from = to + 1;
    }
  };
  const std::vector<Text> target = split(mine);
  std::vector<Text> folders = split(theirs);
  folders.pop_back();
  // ".." above the base's root cannot be climbed back down.
  if (std::find(folders.begin(), folders.end(), U"..") != folders.end()) return lumo::make<CURI>(*this);
  std::size_t common = 0;
  while (common < folders.size() && common + 1 < target.size() && folders[common] == target[common]) ++common;
  Text relativePath;
  for (std::size_t i = common; i < folders.size(); ++i) relativePath += U"../";
  for (std::size_t i = common; i < target.size(); ++i) relativePath += (i > common ? U"/" : U"") + target[i];
  // An empty reference would be the base itself, and one starting with "/"
  // an absolute path.
  if (relativePath.empty() || relativePath[0] == '/') relativePath = U"./" + relativePath;
  relativeParts.path = MakeString(relativePath);
  return build(relativeParts);
}

P<IURI> CURI::replace(URIComponent component, const String& value) const {
  Parts changed = parts();
  switch (component) {
    case URIComponent::kScheme: changed.scheme = value; break;
    case URIComponent::kUserInfo: changed.userInfo = Escape(value, kUserInfoSet); break;
    case URIComponent::kHost: changed.host = BracketedHost(value); break;
    case URIComponent::kPort:
      if (!value.isNull()) parseInt(value, 10);
      changed.portText = value;
      break;
    case URIComponent::kPath: changed.path = PreparedPath(value, changed.hasAuthority()); break;
    case URIComponent::kQuery: changed.query = Escape(value, kQuerySet); break;
    case URIComponent::kFragment: changed.fragment = Escape(value, kQuerySet); break;
  }
  return build(changed);
}

}  // namespace lumo
