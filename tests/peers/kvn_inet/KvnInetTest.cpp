// The Internet library, loaded as the shell loads it: link addresses, the
// update check over its feed file and the automatic channel check.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "compat/win32/Shell.h"
#include "compat/win32/StringConv.h"
#include "peers/kvn_inet/KvnInet.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::GetRegDword;
using testing_support::GetRegString;

constexpr char kKey[] = "SOFTWARE\\korvane\\Korvane Orbweave 9\\kvn_inet";
constexpr char16_t kKey16[] = u"SOFTWARE\\korvane\\Korvane Orbweave 9\\kvn_inet";

class KvnInet : public testing_support::IsolatedTest {
 protected:
  void SetUp() override {
    library_ = dlopen((testing_support::BuildBin() + "/libkvn_inet.so").c_str(), RTLD_NOW);
    ASSERT_NE(library_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (library_ != nullptr) dlclose(library_);
  }
  template <typename Function>
  Function* Export(const char* name) {
    auto* function = reinterpret_cast<Function*>(dlsym(library_, name));
    EXPECT_NE(function, nullptr) << name;
    return function;
  }
// An export of the loaded library, by its declaration's name.
#define KINET(name) Export<decltype(name)>(#name)
  std::string Url(const char* link, const char* extra) {
    char* text = KINET(kinet_MakeLinkTargetURL)(link, "2210", "9.12 beta", "", "Deutsch", extra);
    if (text == nullptr) return "<null>";
    std::string url = text;
    CoTaskMemFree(text);
    return url;
  }
  // One update check with the feed file `feed` (as the "UpdateFeed" value).
  std::int32_t Check(const std::string& feed, std::uint32_t flags = 0xB19) {
    testing_support::SetRegString(HKEY_LOCAL_MACHINE, kKey16, u"UpdateFeed", std::u16string(feed.begin(), feed.end()));
    KinetHandle manager = KINET(kinet_UpdateManagerCreate)();
    KINET(kinet_UpdateManagerSetRegistryKey)(manager, HKEY_LOCAL_MACHINE, kKey);
    KINET(kinet_UpdateManagerSetUserRegistryKey)(manager, HKEY_CURRENT_USER, kKey);
    KINET(kinet_UpdateManagerSetProductVersion)(manager, "9.12");
    const std::int32_t result = KINET(kinet_UpdateManagerDoModalCheck)(manager, nullptr, flags);
    KINET(kinet_UpdateManagerDestroy)(manager);
    return result;
  }
  std::u16string LastResult() const {
    return GetRegString(HKEY_CURRENT_USER, std::u16string(kKey16) + u"\\Update", u"LastResult").value_or(u"-");
  }

  void* library_ = nullptr;
};

TEST_F(KvnInet, LinksLieUnderTheExampleDomainWithTheProductAsQuery) {
  EXPECT_EQ(Url("support", "syslang=de-at"),
            "https://www.example.com/support?product=2210&version=9.12%20beta&edition=&lang=Deutsch&syslang=de-at");
  // What the caller escaped stays; what it left raw is escaped now.
  EXPECT_EQ(Url("a b", "syslang=%C3%A9 \"x\"\n"),
            "https://www.example.com/a%20b?product=2210&version=9.12%20beta&edition=&lang=Deutsch"
            "&syslang=%C3%A9%20%22x%22%0A");
  EXPECT_EQ(Url("", "syslang=en"), "<null>");
}

TEST_F(KvnInet, UpdateCheckAnswersByItsFeedAndKeepsItsState) {
  const std::string feed = folder() / "feed.txt";
  const struct {
    const char* content;
    std::uint32_t flags;
    std::int32_t expected;
  } rows[] = {
      {"version=9.12\n", 0xB19, kKinetUpToDate},        {"version=9.13\r\nmessage=New drives\n", 0xB19, kKinetOffered},
      {"version=9.12\r\n", 0xB19, kKinetUpToDate},  // a line's CR is not part of its value
      {"upgrade=Orbweave 10\n", 0xB19, kKinetUpToDate},  // an update check ignores upgrades
      {"upgrade=Orbweave 10\n", 0x719, kKinetOffered},  {"version=9.13\nend=1\n", 0x319, kKinetMustEnd},
  };
  // Reading feeds and tracing the calls leave no file open behind them (the
  // first check opens the registry's).
  SetEnv("KVN_INET_TRACE", folder() / "trace");
  std::optional<std::ptrdiff_t> before;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.content);
    testing_support::WriteFile(feed, row.content);
    // Without a window the answer is told on standard error.
    testing::internal::CaptureStderr();
    EXPECT_EQ(Check(feed, row.flags), row.expected);
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(told.rfind("kvn_inet: ", 0), 0u) << told;
    EXPECT_NE(told.find(compat::win32::Utf16ToUtf8(LastResult())), std::string::npos) << told;
    if (!before) before = testing_support::OpenFileCount();
  }
  EXPECT_EQ(testing_support::OpenFileCount(), before);
  EXPECT_TRUE(testing_support::FileExists(folder() / "trace"));
  const std::u16string update = std::u16string(kKey16) + u"\\Update";
  EXPECT_EQ(GetRegDword(HKEY_CURRENT_USER, update, u"Flags"), 0x319u);
  EXPECT_EQ(GetRegString(HKEY_CURRENT_USER, update, u"Version"), u"9.12");
  EXPECT_NE(GetRegDword(HKEY_CURRENT_USER, update, u"LastCheck").value_or(0), 0u);
}

TEST_F(KvnInet, UnreadableFeedsFailWithOneMessage) {
  const std::string huge = folder() / "huge";
  testing_support::WriteFile(huge, std::string(64 * 1024 + 1, 'a'));
  testing_support::WriteFile(folder() / "empty", "");
  testing_support::WriteFile(folder() / "binary", std::string("version=9\0\x01\x02", 12));
  const std::pair<std::string, std::u16string> rows[] = {
      {folder() / "missing", u"cannot be found"},
      {folder() / "empty", u"is empty"},
      {huge, u"is too large"},
      {folder() / "binary", u"is not a text file"},
      {"/dev/null", u"is not a file"},
      {folder().path(), u"is not a file"},
  };
  for (const auto& [file, problem] : rows) {
    SCOPED_TRACE(file);
    EXPECT_EQ(Check(file), kKinetFailed);
    EXPECT_NE(LastResult().find(problem), std::u16string::npos);
  }
}

TEST_F(KvnInet, ChannelCheckRunsOncePerIntervalAndCanEndTheProgram) {
  const std::string feed = folder() / "channels.txt";
  testing_support::WriteFile(feed, "message=Hello\nend=1\n");
  testing_support::SetRegString(HKEY_CURRENT_USER, kKey16, u"ChannelFeed", std::u16string(feed.begin(), feed.end()));
  KinetHandle checker = KINET(kinet_InfoCheckCreate)();
  KINET(kinet_InfoCheckSetUserRegistryKey)(checker, HKEY_CURRENT_USER, kKey);
  auto* start = KINET(kinet_InfoCheckStartAllAuto);
  EXPECT_EQ(start(checker), -1);
  EXPECT_EQ(start(checker), 0);  // the next check is a day away
  EXPECT_NE(GetRegDword(HKEY_CURRENT_USER, std::u16string(kKey16) + u"\\InfoCheck", u"LastCheck").value_or(0), 0u);

  auto* text = KINET(kinet_InfoCheckGetConfigureChannelsText);
  EXPECT_NE(text(checker, 1), nullptr);
  testing_support::SetRegDword(HKEY_CURRENT_USER, kKey16, u"ConfigureChannels", 0);
  EXPECT_EQ(text(checker, 1), nullptr);
}

}  // namespace
