// The library's localizer: stored texts by exact key, defaults otherwise,
// the errors' descriptions taken from it, and any thread using it at once.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

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
  localizer->Set("app.Null", String());
  const std::uint8_t utf8Key[] = "app.Title";
  struct Row {
    String key;
    const char* expected;  // nullptr: the default
  } rows[] = {
      {"app.Title", "second"},                // the later text replaces the first
      {make<CUTF8String>(utf8Key), "second"},  // a key is its characters, whatever the encoding
      {"APP.TITLE", nullptr},                 // keys differ by case
      {"app.Empty", ""},                      // an empty text is an answer
      {"app.Null", nullptr},                  // the null string is none
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

TEST(StringLocalizer, KeepsCopiesOfBorrowedKeysAndTexts) {
  const P<IStringLocalizer> localizer = make<CStringLocalizer>();
  {
    char key[] = "key";
    char text[] = "borrowed";
    localizer->Set(make<CLatin1String>(key, -1, StringMode::kBorrow),
                   make<CLatin1String>(text, -1, StringMode::kBorrow));
    key[0] = 'X';
    text[0] = 'X';
  }
  EXPECT_EQ(localizer->Get("key", ""), String("borrowed"));
}

TEST(StringLocalizer, ServesThreadsStoringAndReadingAtOnce) {
  const P<IStringLocalizer> localizer = make<CStringLocalizer>();
  constexpr int kThreads = 4;
  constexpr int kRounds = 500;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string own = "thread." + std::to_string(t);
      const std::string mine = "text of " + std::to_string(t);
      for (int round = 0; round < kRounds; ++round) {
        // Each thread's own key holds what it stored last; the shared key
        // holds some thread's text, never a torn or missing one.
        const std::string text = mine + " in round " + std::to_string(round);
        localizer->Set(own.c_str(), text.c_str());
        localizer->Set("shared", mine.c_str());
        if (!(localizer->Get(own.c_str(), "") == String(text.c_str()))) ++mismatches[t];
        if (!localizer->Get("shared", "")->startsWith("text of ")) ++mismatches[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
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
