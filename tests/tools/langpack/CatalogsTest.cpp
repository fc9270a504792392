// The catalogs against the sources: each lookup is in en.po with its default, each translation has each key.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <tuple>

#include "tests/support/TestSupport.h"
#include "tools/langpack/PackFile.h"
#include "tools/langpack/PoFile.h"

namespace {

namespace fs = std::filesystem;
using langpack::Catalog;

// A key looked up, its default, and the file that looks it up.
using Lookup = std::tuple<std::string, std::string, std::string>;

// The value of a run of adjacent literals ("a" u"b" over several lines).
std::string LiteralValue(const std::string& run) {
  static const std::regex piece(R"re(u?"((?:[^"\\]|\\.)*)")re");
  std::string value;
  for (std::sregex_iterator it(run.begin(), run.end(), piece), end; it != end; ++it) {
    const std::string body = (*it)[1];
    for (std::size_t i = 0; i < body.size(); ++i) {
      const bool escape = body[i] == '\\' && i + 1 < body.size();
      const char c = body[i += escape];
      value += !escape ? c : c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
  }
  return value;
}

// The product's sources by file name, line comments cut (examples in comments do not count).
std::vector<std::pair<std::string, std::string>> Sources() {
  static const std::regex comment("//[^\n]*");
  std::vector<std::pair<std::string, std::string>> sources;
  // The desktop entry's generator takes its texts from the catalogs too.
  for (const char* folder : {"shell", "langpacks", "localization", "settings", "chunkfile", "platform", "foundation",
                             "peers/orbcore", "desktop"}) {
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(testing_support::SourceDir()) / folder)) {
      const fs::path extension = entry.path().extension();
      if (extension != ".cpp" && extension != ".h" && extension != ".py") continue;
      sources.emplace_back(entry.path().filename(),
                           std::regex_replace(testing_support::ReadFile(entry.path()), comment, ""));
    }
  }
  return sources;
}

// Every key and default the sources look up: the first two arguments of a call to Localize, and
// any dotted key ("CAboutBox.Graphics") followed by its default in a table or a helper's arguments.
std::vector<Lookup> Lookups(const std::vector<std::pair<std::string, std::string>>& sources) {
  static const std::regex pair(
      R"re((Localize\s*\(\s*)?((?:u?"(?:[^"\\\n]|\\.)*"\s*)+),\s*(?=((?:u?"(?:[^"\\\n]|\\.)*"\s*)+)))re");
  static const std::regex dottedKey(R"(([A-Za-z]\w*(\.\w+)+))");
  std::vector<Lookup> found;
  for (const auto& [name, text] : sources) {
    for (std::sregex_iterator it(text.begin(), text.end(), pair), end; it != end; ++it) {
      const std::string key = LiteralValue((*it)[2]);
      if ((*it)[1].matched || std::regex_match(key, dottedKey)) found.push_back({key, LiteralValue((*it)[3]), name});
    }
  }
  return found;
}

std::map<std::string, std::string> Texts(const fs::path& po, Catalog* catalog = nullptr) {
  const Catalog read = langpack::ReadPo(testing_support::ReadFile(po), po.filename());
  std::map<std::string, std::string> texts;
  for (const auto& message : read.messages) texts.emplace(message.key, message.text);
  if (catalog) *catalog = read;
  return texts;
}

fs::path Catalogs() { return fs::path(testing_support::SourceDir()) / "resources/lang"; }

// Keys chosen at run time (one of two literals) are not seen as pairs; en.po still holds only named keys.
TEST(CatalogsTest, EnglishCatalogHoldsEveryLookupWithItsDefault) {
  const auto sources = Sources();
  const std::vector<Lookup> lookups = Lookups(sources);
  ASSERT_GE(lookups.size(), 20u) << "the scanner finds the calls";
  const auto english = Texts(Catalogs() / "en.po");
  for (const auto& [key, text] : english) {
    const std::string literal = "\"" + key + "\"";
    const auto names = [&](const auto& source) { return source.second.find(literal) != std::string::npos; };
    EXPECT_TRUE(std::ranges::any_of(sources, names)) << "en.po has " << key << ", which no source names";
  }
  for (const auto& [key, defaultText, where] : lookups) {
    const auto found = english.find(key);
    EXPECT_EQ(found == english.end() ? "<not in en.po>" : found->second, defaultText) << where << ": " << key;
  }
}

// Every catalog names its language, has the English keys and placeholders, and reads back from either format.
TEST(CatalogsTest, CatalogsAreCompleteAndRoundTrip) {
  Catalog english;
  const auto englishTexts = Texts(Catalogs() / "en.po", &english);
  std::set<std::string> languages;
  testing_support::TempFolder folder;
  for (const auto& entry : fs::directory_iterator(Catalogs())) {
    const std::string language = entry.path().stem();
    Catalog catalog;
    const auto texts = Texts(entry.path(), &catalog);
    languages.insert(language);
    EXPECT_EQ(catalog.language, language);
    EXPECT_TRUE(std::equal(texts.begin(), texts.end(), englishTexts.begin(), englishTexts.end(),
                           [](const auto& a, const auto& b) { return a.first == b.first; }))
        << language << ".po has other keys than en.po";
    EXPECT_NO_THROW(langpack::CheckPlaceholders(catalog, english, language));
    for (const int format : {1, 2}) {
      langpack::WritePack(catalog, format, folder / "pack");
      const Catalog back = langpack::ReadPack(folder / "pack");
      EXPECT_EQ(back.messages, catalog.messages) << language << " format " << format;
      EXPECT_EQ(back.language, format == 2 ? catalog.language : "");
      EXPECT_EQ(back.languageName, catalog.languageName);
    }
  }
  EXPECT_TRUE(languages.contains("de") && languages.contains("fr"));
}

}  // namespace
