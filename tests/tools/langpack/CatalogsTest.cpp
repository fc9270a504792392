// The project's own catalogs against the sources: every text the program and
// the library look up is in the English catalog with the default written at
// its call, and every translation has every key.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>

#include "tests/support/TestSupport.h"
#include "tools/langpack/PackFile.h"
#include "tools/langpack/PoFile.h"

namespace {

namespace fs = std::filesystem;
using langpack::Catalog;

struct Lookup {
  std::string key;
  std::string defaultText;
  std::string where;
};

// The source with its comments blanked, so examples in comments do not count.
std::string WithoutComments(const std::string& text) {
  std::string out = text;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '"' || out[i] == '\'') {
      const char quote = out[i];
      for (++i; i < out.size() && out[i] != quote; ++i) i += out[i] == '\\';
    } else if (out.compare(i, 2, "//") == 0) {
      for (; i < out.size() && out[i] != '\n'; ++i) out[i] = ' ';
    } else if (out.compare(i, 2, "/*") == 0) {
      for (; i < out.size() && out.compare(i, 2, "*/") != 0; ++i) out[i] = out[i] == '\n' ? '\n' : ' ';
      if (i < out.size()) out[i] = out[i + 1] = ' ';
    }
  }
  return out;
}

// The value of a run of adjacent literals ("a" u"b" over several lines).
std::string LiteralValue(const std::string& run) {
  static const std::regex piece(R"re(u?"((?:[^"\\]|\\.)*)")re");
  std::string value;
  for (std::sregex_iterator it(run.begin(), run.end(), piece), end; it != end; ++it) {
    const std::string body = (*it)[1];
    for (std::size_t i = 0; i < body.size(); ++i) {
      if (body[i] != '\\' || i + 1 == body.size()) {
        value += body[i];
        continue;
      }
      const char c = body[++i];
      value += c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
  }
  return value;
}

// The product's sources, comments blanked, by file name.
std::vector<std::pair<std::string, std::string>> Sources() {
  const fs::path root = testing_support::SourceDir();
  std::vector<std::pair<std::string, std::string>> sources;
  for (const char* folder : {"shell", "localization", "settings", "chunkfile", "platform", "foundation"}) {
    for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
      const std::string ext = entry.path().extension();
      if (ext != ".cpp" && ext != ".h") continue;
      sources.emplace_back(entry.path().filename(), WithoutComments(testing_support::ReadFile(entry.path())));
    }
  }
  return sources;
}

// Every key and default the sources look up: the first two arguments of a
// call to Localize, and any dotted key ("CAboutBox.Graphics") followed by its
// default in a table or a helper's arguments.
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

fs::path Catalogs() { return fs::path(testing_support::SourceDir()) / "resources/lang"; }

Catalog ReadCatalog(const std::string& language) {
  const fs::path path = Catalogs() / (language + ".po");
  return langpack::ReadPo(testing_support::ReadFile(path), path.filename());
}

// Every catalog's language, English first.
std::vector<std::string> Languages() {
  std::vector<std::string> languages = {"en"};
  for (const auto& entry : fs::directory_iterator(Catalogs())) {
    if (entry.path().extension() == ".po" && entry.path().stem() != "en") languages.push_back(entry.path().stem());
  }
  return languages;
}

std::map<std::string, std::string> Texts(const Catalog& catalog) {
  std::map<std::string, std::string> texts;
  for (const auto& message : catalog.messages) texts.emplace(message.key, message.text);
  return texts;
}

// Keys chosen at run time (one of two literals) are not seen as pairs; the
// English catalog still may hold only keys that the sources name.
TEST(CatalogsTest, EnglishCatalogHoldsEveryLookupWithItsDefault) {
  const auto sources = Sources();
  const std::vector<Lookup> lookups = Lookups(sources);
  ASSERT_GE(lookups.size(), 20u) << "the scanner finds the calls";
  const auto english = Texts(ReadCatalog("en"));
  for (const auto& [key, text] : english) {
    const std::string literal = "\"" + key + "\"";
    EXPECT_TRUE(std::any_of(sources.begin(), sources.end(),
                            [&](const auto& source) { return source.second.find(literal) != std::string::npos; }))
        << "en.po has " << key << ", which no source names";
  }
  for (const Lookup& lookup : lookups) {
    const auto found = english.find(lookup.key);
    if (found == english.end()) {
      ADD_FAILURE() << lookup.where << ": \"" << lookup.key << "\" is not in en.po";
    } else {
      EXPECT_EQ(found->second, lookup.defaultText) << lookup.where << ": the default of " << lookup.key;
    }
  }
}

TEST(CatalogsTest, TranslationsHaveEveryKey) {
  const auto english = Texts(ReadCatalog("en"));
  const std::vector<std::string> languages = Languages();
  for (const char* expected : {"de", "fr"}) {
    EXPECT_NE(std::find(languages.begin(), languages.end(), expected), languages.end()) << expected;
  }
  for (const std::string& language : languages) {
    const Catalog translation = ReadCatalog(language);
    EXPECT_EQ(translation.language, language);
    const auto texts = Texts(translation);
    for (const auto& [key, text] : english) EXPECT_TRUE(texts.contains(key)) << language << ".po lacks " << key;
    for (const auto& [key, text] : texts) EXPECT_TRUE(english.contains(key)) << language << ".po has unknown " << key;
  }
}

// What the build does with each catalog, and the way back.
TEST(CatalogsTest, ProjectCatalogsCompileAndDecompileUnchanged) {
  const Catalog english = ReadCatalog("en");
  testing_support::TempFolder folder;
  for (const std::string& language : Languages()) {
    const Catalog catalog = ReadCatalog(language);
    EXPECT_NO_THROW(langpack::CheckPlaceholders(catalog, english, language));
    for (const int format : {1, 2}) {
      const std::string path = folder / (language + std::to_string(format));
      langpack::WritePack(catalog, format, path);
      const Catalog back = langpack::ReadPack(path);
      EXPECT_EQ(back.messages, catalog.messages) << language << " format " << format;
      EXPECT_EQ(back.languageName, catalog.languageName);
      EXPECT_EQ(back.language, format == 2 ? catalog.language : "");
    }
  }
}

}  // namespace
