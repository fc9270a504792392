// The library's localizer: texts by exact key else the default, and threads using it at once.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/CString.h"
#include "localization/StringLocalizer.h"

namespace lumo {
namespace {

TEST(StringLocalizer, StoredCopiesByExactKeyElseTheDefault) {
  const P<IStringLocalizer> localizer = make<CStringLocalizer>();
  localizer->Set("app.Title", "first");
  localizer->Set("app.Title", u"second");
  localizer->Set("app.Empty", "");
  localizer->Set("app.Null", String());
  const std::uint8_t utf8Key[] = "app.Title";
  // A key and its text; nullptr for the default.
  const std::pair<String, const char*> rows[] = {
      {"app.Title", "second"},                // the later text replaces the first
      {make<CUTF8String>(utf8Key), "second"},  // a key is its characters, whatever the encoding
      {"APP.TITLE", nullptr},                 // keys differ by case
      {"app.Empty", ""},                      // an empty text is an answer
      {"app.Null", nullptr},                  // the null string is none
      {"app.Missing", nullptr},
  };
  for (const auto& [key, expected] : rows) {
    const String text = localizer->Get(key, "default");
    EXPECT_EQ(text, String(expected ? expected : "default")) << expected;
    EXPECT_FALSE(text.isNull());
  }
  localizer->Clear();
  EXPECT_EQ(localizer->Get("app.Title", "default"), String("default"));
  // Borrowed keys and texts are copied.
  char key[] = "key", text[] = "borrowed";
  localizer->Set(make<CLatin1String>(key, -1, StringMode::kBorrow),
                 make<CLatin1String>(text, -1, StringMode::kBorrow));
  key[0] = 'X';
  text[0] = 'X';
  EXPECT_EQ(localizer->Get("key", ""), String("borrowed"));
}

// Offered texts are stored by the next operation, in the order offered, as
// if each offer had been a Set at that moment.
TEST(StringLocalizer, OfferedTextsCountFromTheirOffer) {
  const P<IStringLocalizer>& localizer = GetStringLocalizer();
  localizer->Clear();
  const auto text = [&](const char* key) { return localizer->Get(key, "default"); };
  OfferLocalizerTexts({{u"lib.A", u"offered"}, {u"lib.B", u"first"}, {u"lib.B", u"second"}});
  OfferLocalizerTexts({{u"lib.C", u"later offer"}});
  EXPECT_EQ(text("lib.A"), String("offered"));
  EXPECT_EQ(text("lib.B"), String("second"));
  EXPECT_EQ(text("lib.C"), String("later offer"));
  OfferLocalizerTexts({{u"lib.A", u"offered again"}});
  localizer->Set("lib.A", "set after");
  localizer->Set("lib.B", "set before");
  OfferLocalizerTexts({{u"lib.B", u"offered after"}});
  EXPECT_EQ(text("lib.A"), String("set after"));
  EXPECT_EQ(text("lib.B"), String("offered after"));
  OfferLocalizerTexts({{u"lib.D", u"offered"}});
  localizer->Clear();
  EXPECT_EQ(text("lib.D"), String("default"));
}

TEST(StringLocalizer, ServesThreadsStoringClearingAndReadingAtOnce) {
  const P<IStringLocalizer> localizer = make<CStringLocalizer>();
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      // A key reads as its thread's last text or, once another thread cleared the table, the default.
      const std::string key = "thread." + std::to_string(t);
      for (int round = 0; round < 500; ++round) {
        const std::string text = key + " round " + std::to_string(round);
        localizer->Set(key.c_str(), text.c_str());
        const String read = localizer->Get(key.c_str(), "-");
        if (!(read == String(text.c_str()) || read == String("-"))) ++wrong[t];
        if (t == 0 && round % 50 == 0) localizer->Clear();
        // Offers come in from any thread and are stored by whichever operation runs next.
        if (t == 1 && round % 25 == 0) OfferLocalizerTexts({{u"offered", u"text"}});
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace lumo
