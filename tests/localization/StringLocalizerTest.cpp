// The library's localizer: stored texts by exact key, defaults otherwise,
// and the errors' descriptions taken from it.

#include <gtest/gtest.h>

#include "foundation/CString.h"
#include "foundation/Exception.h"
#include "localization/StringLocalizer.h"

namespace lumo {
namespace {

TEST(StringLocalizer, StoredTextsByExactKeyElseTheDefault) {
  const P<IStringLocalizer> localizer = make<CStringLocalizer>();
  localizer->Set("app.Title", "first");
  localizer->Set("app.Title", u"second");
  localizer->Set("app.Empty", "");
  const std::uint8_t utf8Key[] = "app.Title";
  struct Row {
    String key;
    const char* expected;  // nullptr: the default
  } rows[] = {
      {"app.Title", "second"},                // the later text replaces the first
      {make<CUTF8String>(utf8Key), "second"},  // a key is its characters, whatever the encoding
      {"APP.TITLE", nullptr},                 // keys differ by case
      {"app.Empty", ""},                      // an empty text is an answer
      {"app.Missing", nullptr},
  };
  for (const Row& row : rows) {
    const String text = localizer->Get(row.key, "default");
    EXPECT_EQ(text, String(row.expected ? row.expected : "default")) << row.expected;
    EXPECT_FALSE(text.isNull());
  }
  localizer->Clear();
  EXPECT_EQ(localizer->Get("app.Title", "default"), String("default"));
}

TEST(StringLocalizer, KeepsACopyOfABorrowedText) {
  const P<IStringLocalizer> localizer = make<CStringLocalizer>();
  {
    char buffer[] = "borrowed";
    localizer->Set("key", make<CLatin1String>(buffer, -1, StringMode::kBorrow));
    buffer[0] = 'X';
  }
  EXPECT_EQ(localizer->Get("key", ""), String("borrowed"));
}

TEST(StringLocalizer, TheProcessWideOneServesTheErrors) {
  EXPECT_EQ(GetStringLocalizer().get(), GetStringLocalizer().get());
  EXPECT_EQ(CFileNotFoundError().getDescription(), String("The file was not found."));
  GetStringLocalizer()->Set("lumo.CFileNotFoundError.GeneralDesc", u"Datei nicht gefunden.");
  EXPECT_EQ(CFileNotFoundError().getDescription(), String("Datei nicht gefunden."));
  GetStringLocalizer()->Clear();
}

}  // namespace
}  // namespace lumo
