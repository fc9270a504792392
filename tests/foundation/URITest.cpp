// URIs: splitting, building with escaping, derived forms, resolving, making relative, new URIs from old.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "FoundationTestSupport.h"
#include "foundation/CURI.h"
#include "foundation/Exception.h"
#include "foundation/IArray.h"

namespace lumo {
namespace {

std::string Shown(const String& text) { return text.isNull() ? "<null>" : ToUTF8(text); }
std::string Want(const char* text) { return text ? text : "<null>"; }

std::string Joined(const P<IConstArray>& parts) {
  std::string joined;
  for (std::int32_t i = 0; i < parts->getCount(); ++i) {
    const auto& element = dynamic_cast<const IString&>(*parts->get(i));
    joined += (i ? "|" : "") + ToUTF8(CString::convert(element, GetUTF8CharEncoding()));
  }
  return joined;
}

P<IURI> Parse(const char16_t* text) { return make<CURI>(text); }

using TextCase = std::pair<const char16_t*, const char*>;  // a text and what is expected of it

TEST(URI, SplitsTextIntoComponentsAndTellsEmptyFromAbsent) {
  struct Row {
    const char16_t* text;
    const char *scheme, *userInfo, *host, *port, *path, *query, *fragment;
    std::int32_t portNumber;
  };
  const char* const _ = nullptr;
  const Row rows[] = {
      {u"http://u%20v@a.b:8080/p/a%20t?x=1#f", "http", "u%20v", "a.b", "8080", "/p/a%20t", "x=1", "f", 8080},
      {u"http://a?", "http", _, "a", _, _, "", _, -1},
      {u"http://a#", "http", _, "a", _, _, _, "", -1},
      {u"http://[::1]:80/x", "http", _, "[::1]", "80", "/x", _, _, 80},
      {u"file:///C:/a%20b", "file", _, "", _, "/C:/a%20b", _, _, -1},
      {u"mailto:a@b?s", "mailto", _, _, _, "a@b", "s", _, -1},
      {u"../a?q#", _, _, _, _, "../a", "q", "", -1},
      {u"", _, _, _, _, _, _, _, -1},
      {u"1a:b/c", _, _, _, _, "1a:b/c", _, _, -1},  // no scheme starts with a digit
      {u"http://u@v@h:x/", "http", "u@v", "h", "x", "/", _, _, -1},
      {u"http://h:/", "http", _, "h", "", "/", _, _, -1},
      {u"//u@", _, "u", "", _, _, _, _, -1},
      {u"s://é@ü/ö", "s", "é", "ü", _, "/ö", _, _, -1},
  };
  for (const Row& row : rows) {
    const P<IURI> uri = Parse(row.text);
    SCOPED_TRACE(Shown(uri->getText()));
    EXPECT_EQ(Shown(uri->getScheme()), Want(row.scheme));
    EXPECT_EQ(Shown(uri->getRawUserInfo()), Want(row.userInfo));
    EXPECT_EQ(Shown(uri->getHost()), Want(row.host));
    EXPECT_EQ(Shown(uri->getPortText()), Want(row.port));
    EXPECT_EQ(uri->getPort(), row.portNumber);
    EXPECT_EQ(Shown(uri->getRawPath()), Want(row.path));
    EXPECT_EQ(Shown(uri->getRawQuery()), Want(row.query));
    EXPECT_EQ(Shown(uri->getRawFragment()), Want(row.fragment));
    EXPECT_EQ(uri->isRelative(), !row.scheme);
    EXPECT_EQ(uri->hasAuthority(), row.host != nullptr);
    EXPECT_EQ(uri->hasPath() + 2 * uri->hasQuery() + 4 * uri->hasFragment() + 8 * uri->hasUserInfo(),
              !!row.path + 2 * !!row.query + 4 * !!row.fragment + 8 * !!row.userInfo);
  }
  const P<IURI> full = Parse(u"http://u%20v@h:1/a%20b?c%20d#e%20f");
  EXPECT_EQ(Shown(full->getRawSchemeSpecificPart()), "//u%20v@h:1/a%20b?c%20d");
  EXPECT_EQ(Shown(full->getSchemeSpecificPart()), "//u v@h:1/a b?c d");
  EXPECT_EQ(Shown(full->getRawAuthority()), "u%20v@h:1");
  EXPECT_EQ(Shown(full->getAuthority()) + Shown(full->getUserInfo()), "u v@h:1u v");
  EXPECT_EQ(Shown(full->getPath()) + Shown(full->getQuery()) + Shown(full->getFragment()), "/a bc de f");
  EXPECT_TRUE(Parse(u"mailto:a@b")->isOpaque());
  EXPECT_FALSE(Parse(u"http://h/")->isOpaque());
  EXPECT_THROW(static_cast<void>(make<CURI>(String())), CInvalidArgError);
}

TEST(URI, UnescapesRunsAsUTF8AndKeepsWhatIsNoCharacter) {
  const TextCase rows[] = {
      {u"%41%62", "Ab"}, {u"%c3%A9", "é"}, {u"%e2%82%ac!", "€!"}, {u"%f0%9f%98%80", "😀"},
      {u"%ff%41", "%ffA"}, {u"%c3", "%c3"}, {u"%c0%80", "%c0%80"}, {u"%ed%a0%80", "%ed%a0%80"},
      {u"%4", "%4"}, {u"%g1%", "%g1%"}, {u"a%2fb", "a/b"},
  };
  for (const auto& [path, plain] : rows) EXPECT_EQ(Shown(Parse(path)->getPath()), plain) << Shown(path);
}

TEST(URI, BuildsTextFromEscapedComponents) {
  struct Row {
    const char16_t *scheme, *userInfo, *host, *port, *path, *query, *fragment;
    const char* text;
  };
  const char16_t* const _ = nullptr;
  const Row rows[] = {
      {u"file", _, _, _, u"C:/a b/c.txt", _, _, "file:C:/a%20b/c.txt"},
      {u"file", _, u"h", _, u"C:/a b/c.txt", _, _, "file://h/C:/a%20b/c.txt"},
      {u"http", u"a@b:c", u"h", _, _, _, _, "http://a%40b:c@h"},
      {u"http", _, u"h", _, u"", u"x=1&y=/", u"a b<", "http://h/?x=1&y=/#a%20b%3c"},
      {u"s", u"é", u"h", _, u"é", u"é", u"é", "s://é@h/é?é#é"},
      {u"s", _, _, _, u"%/?#[]\"{}|\\^`", u"?#", _, "s:%25/%3f%23%5b%5d%22%7b%7d%7c%5c%5e%60??%23"},
      {u"s", _, _, _, u"-_.!~*'();:,/@&=+$", u";:,/?@&=+$", _, "s:-_.!~*'();:,/@&=+$?;:,/?@&=+$"},
      {u"http", _, u"h", _, u"a/./b/../../../c/.", _, _, "http://h/../c/"},
      {u"http", _, u"::1", u"80", u"/", _, _, "http://[::1]:80/"},
      {_, _, u"", _, _, _, _, "//"},
      {_, _, _, _, u"a:b", _, _, "./a:b"},
      {u"s", _, _, _, u"//x", _, _, "s:/.//x"},
      {_, _, _, _, _, _, u"", "#"},
  };
  for (const Row& row : rows) {
    const P<IURI> built = make<CURI>(row.scheme, row.userInfo, row.host, row.port, row.path, row.query, row.fragment);
    EXPECT_EQ(Shown(built->getText()), row.text);
    // Splitting the text gives the same components back.
    EXPECT_TRUE(make<CURI>(built->getText())->equals(*built)) << row.text;
  }
}

TEST(URI, ResolvesTheReferenceExamplesOfRFC2396) {
  const P<IURI> base = Parse(u"http://a/b/c/d;p?q");
  const TextCase rows[] = {
      {u"g:h", "g:h"}, {u"./g", "http://a/b/c/g"}, {u"g/", "http://a/b/c/g/"}, {u"/g", "http://a/g"},
      {u"//g", "http://g"}, {u"?y", "http://a/b/c/?y"}, {u"#s", "http://a/b/c/d;p?q#s"}, {u"..", "http://a/b/"},
      {u"g?y#s", "http://a/b/c/g?y#s"}, {u".", "http://a/b/c/"}, {u"../", "http://a/b/"}, {u"../..", "http://a/"},
      {u"", "http://a/b/c/d;p?q"}, {u"../../../g", "http://a/../g"}, {u"../../../../g", "http://a/../../g"},
      {u"/./g", "http://a/./g"}, {u"g.", "http://a/b/c/g."}, {u"..g", "http://a/b/c/..g"}, {u"./../g", "http://a/b/g"},
      {u"./g/.", "http://a/b/c/g/"}, {u"g/../h", "http://a/b/c/h"}, {u"g;x=1/../y", "http://a/b/c/y"},
      {u"g?y/../x", "http://a/b/c/g?y/../x"}, {u"g#s/../x", "http://a/b/c/g#s/../x"}, {u"http:g", "http:g"},
  };
  for (const auto& [reference, resolved] : rows) {
    EXPECT_EQ(Shown(Parse(reference)->resolveAgainst(*base)->getText()), resolved) << Shown(reference);
  }
  // A base with an authority and no path stands for its root; the result
  // keeps the base's user information and port.
  EXPECT_EQ(Shown(Parse(u"g")->resolveAgainst(*Parse(u"http://u@h:1"))->getText()), "http://u@h:1/g");
  EXPECT_EQ(Shown(Parse(u"g")->resolveAgainst(*Parse(u"a"))->getText()), "g");
}

TEST(URI, MakesRelativeReferences) {
  const P<IURI> base = Parse(u"http://a/b/c/d;p?q");
  const TextCase rows[] = {
      {u"http://a/b/c/g", "g"}, {u"http://a/b/c/g/h", "g/h"}, {u"http://a/b/g", "../g"},
      {u"http://a/g?y#s", "../../g?y#s"}, {u"HTTP://A/b/c/g", "g"}, {u"http://a/b/c/d;p?q#s", "#s"},
      {u"http://a/b/c/d;p?q", ""},
      {u"http://a/b/c/d;p", "d;p"}, {u"http://a/b/c/d;p?x", "d;p?x"}, {u"http://a/b/c/", "./"},
      {u"http://a/b/c/x:y", "./x:y"}, {u"http://a/b/c//x", ".//x"}, {u"http://a/b/./c/../c/g", "g"},
      {u"http://a", "../../"},
      // Nothing in common, or no absolute path: the URI itself.
      {u"https://a/b/c/g", "https://a/b/c/g"}, {u"http://u@a/b/c/g", "http://u@a/b/c/g"},
      {u"http://a:80/b", "http://a:80/b"}, {u"g", "g"}, {u"mailto:x", "mailto:x"},
  };
  for (const auto& [uri, relative] : rows) {
    EXPECT_EQ(Shown(Parse(uri)->makeRelativeTo(*base)->getText()), relative) << Shown(uri);
  }
  EXPECT_EQ(Shown(Parse(u"http://a/x")->makeRelativeTo(*Parse(u"http://a/../b/c"))->getText()), "http://a/x");
}

TEST(URI, SplitsPathIntoSegmentsAndQueryIntoParameters) {
  const struct {
    const char16_t* text;
    const char *rawSegments, *segments, *fileName, *extension;
  } rows[] = {
      {u"http://h/a/b%20c.tar.gz", "a|b%20c.tar.gz", "a|b c.tar.gz", "b c.tar.gz", "gz"},
      {u"http://h/a/", "a|", "a|", "", "<null>"},
      {u"http://h/", "", "", "", "<null>"},
      {u"http://h?x/y.z", "", "", "<null>", "<null>"},
      {u"x/.profile", "x|.profile", "x|.profile", ".profile", "profile"},
      {u"a%2fb//c.", "a%2fb||c.", "a/b||c.", "c.", ""},
  };
  for (const auto& row : rows) {
    const P<IURI> uri = Parse(row.text);
    SCOPED_TRACE(Shown(row.text));
    EXPECT_EQ(Joined(uri->getRawPathSegments()), row.rawSegments);
    EXPECT_EQ(Joined(uri->getPathSegments()), row.segments);
    EXPECT_EQ(Shown(uri->getFileName()), row.fileName);
    EXPECT_EQ(Shown(uri->getExtension()), row.extension);
    EXPECT_EQ(uri->hasExtension(), std::string(row.extension) != "<null>");
  }
  EXPECT_EQ(Joined(Parse(u"/%41")->getPathSegments()) + Shown(Parse(u"/%41.%42")->getRawExtension()), "A%42");
  const P<IURI> query = Parse(u"?a=1&b&c%3d=%26=&&a=2");
  EXPECT_EQ(Joined(query->getRawQueryParameters()), "a=1|b|c%3d=%26=||a=2");
  EXPECT_EQ(Joined(query->getQueryParameters()), "a=1|b|c==&=||a=2");
  EXPECT_EQ(Shown(query->getQueryParameter("a")) + Shown(query->getQueryParameter("b")) +
                Shown(query->getQueryParameter("c=")) + Shown(query->getQueryParameter("z")),
            "1&=<null>");
  EXPECT_EQ(query->getQueryParameters()->getCount() + Parse(u"?")->getQueryParameters()->getCount() +
                Parse(u"x")->getRawQueryParameters()->getCount(),
            5);
}

TEST(URI, BuildsNewURIsFromOldOnes) {
  const P<IURI> uri = Parse(u"http://u@h:8/a/./b?q#f");
  const std::pair<P<IURI>, const char*> rows[] = {
      {uri->getParent(), "http://u@h:8/a/./"},
      {Parse(u"http://h/a/b/")->getParent(), "http://h/a/"},
      {Parse(u"http://h/")->getParent(), "http://h/"},
      {Parse(u"file:C:/x")->getParent(), "file:C:/"},
      {Parse(u"x")->getParent(), ""},
      {uri->getChild(u"c d/e"), "http://u@h:8/a/./b/c%20d%2fe"},
      {Parse(u"http://h")->getChild("x"), "http://h/x"},
      {Parse(u"")->getChild("x:y"), "./x:y"},
      {uri->normalize(), "http://u@h:8/a/b?q#f"},
      {uri->replace(URIComponent::kScheme, "ftp"), "ftp://u@h:8/a/./b?q#f"},
      {uri->replace(URIComponent::kUserInfo, "a@b"), "http://a%40b@h:8/a/./b?q#f"},
      {uri->replace(URIComponent::kHost, "::1"), "http://u@[::1]:8/a/./b?q#f"},
      {uri->replace(URIComponent::kPort, nullptr), "http://u@h/a/./b?q#f"},
      {uri->replace(URIComponent::kPath, "x y/../z"), "http://u@h:8/z?q#f"},
      {uri->replace(URIComponent::kQuery, "a b"), "http://u@h:8/a/./b?a%20b#f"},
      {uri->replace(URIComponent::kFragment, nullptr), "http://u@h:8/a/./b?q"},
      {Parse(u"a/b")->replace(URIComponent::kHost, "h"), "//h/a/b"},
  };
  for (const auto& [made, text] : rows) EXPECT_EQ(Shown(made->getText()), text);
  EXPECT_EQ(Shown(uri->replace(URIComponent::kPort, "9")->getAuthority()), "u@h:9");
}

TEST(URI, RefusesAPortTextThatIsNoNumber) {
  const auto refused = testing::ThrowsMessage<CParseError>(testing::StrEq("Error parsing integer."));
  for (const char16_t* port : {u"", u"x", u"-1", u" 1", u"1a"}) {
    EXPECT_THAT([&] { (void)make<CURI>(u"http", nullptr, u"h", port, nullptr, nullptr, nullptr); }, refused)
        << Shown(port);
    EXPECT_THAT([&] { Parse(u"http://h")->replace(URIComponent::kPort, port); }, refused) << Shown(port);
  }
}

TEST(URI, ComparesSchemeAndHostWithoutCase) {
  const P<IURI> uri = Parse(u"HTTP://H.Example/A?Q#F");
  const P<IURI> copy = make<CURI>(*uri);
  EXPECT_TRUE(uri->equals(*Parse(u"http://h.example/A?Q#F")));
  EXPECT_EQ(uri->hashCode(), Parse(u"http://h.example/A?Q#F")->hashCode());
  EXPECT_TRUE(uri->equals(*copy));
  EXPECT_EQ(Shown(copy->getText()) + Shown(copy->getRawSchemeSpecificPart()), "HTTP://H.Example/A?Q#F//H.Example/A?Q");
  for (const char16_t* other : {u"http://h.example/a?Q#F", u"http://h.example/A?q#F", u"http://h.example/A?Q#f",
                                u"http://h.example/A?Q", u"http://h.example:80/A?Q#F", u"http://u@h.example/A?Q#F"}) {
    EXPECT_FALSE(uri->equals(*Parse(other))) << Shown(other);
  }
}

TEST(URI, ShowsFileURIsAsPaths) {
  const TextCase rows[] = {
      {u"file:///C:/a%20b/c.txt", "C:\\a b\\c.txt"}, {u"file:C:/x", "C:\\x"}, {u"FILE://localhost/c|/x", "c:\\x"},
      {u"file://server/share/a", "\\\\server\\share\\a"}, {u"file:///home/ann/a%20b", "/home/ann/a b"},
      {u"http://h/a%20b", "http://h/a%20b"},
  };
  for (const auto& [text, shown] : rows) EXPECT_EQ(Shown(Parse(text)->getDisplayText()), shown);
}

}  // namespace
}  // namespace lumo
