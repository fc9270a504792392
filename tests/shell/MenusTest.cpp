// The shell's menus in the engine's menu bar and their commands, with the
// Internet library's calls as it records them ($KVN_INET_TRACE) and the
// browser a script on PATH that keeps the address it was given.
#include "shell/Menus.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "compat/mfc/Backend.h"
#include "compat/win32/Menu.h"
#include "compat/win32/Message.h"
#include "compat/win32/StringConv.h"
#include "langpacks/LangPackMan.h"
#include "shell/Kyrell.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using compat::win32::Utf16ToUtf8;
using Lines = std::vector<std::string>;

const std::u16string kBase = u"SOFTWARE\\korvane\\Korvane Orbweave 9";
const std::u16string kInet = kBase + u"\\kvn_inet";

// The start-up steps the menus read, without the engine run.
class MenuApp : public CKyrellApp {
 public:
  MenuApp() {
    ComputePaths();
    DirectFrameworkRegistry();
    LoadEngine();
    ReadIdentitySettings();
    SelectLanguage();
    ReadUpgradeName();
    InitInfoChannels(*this);
  }
};

// "id text" per item, "-" for a separator, "[text]" for a pop-up.
Lines Items(HMENU menu) {
  Lines items;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    char16_t text[128] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
    const UINT id = GetMenuItemID(menu, i);
    if (GetSubMenu(menu, i) != nullptr) {
      items.push_back("[" + Utf16ToUtf8(text) + "]");
    } else if (id == 0) {
      items.push_back("-");
    } else {
      items.push_back(std::to_string(id) + " " + Utf16ToUtf8(text));
    }
  }
  return items;
}

class MenusTest : public testing_support::IsolatedTest {
 protected:
  void SetUp() override {
    compat::mfc::UseRecordingBackend();
    compat::mfc::ClearRecordedMessages();
    compat::win32::TakeQuitMessage(nullptr);
    SetEnv("KVN_INET_TRACE", folder() / "trace");
    UseFakeOpener();
    previous_ = CKyrellApp::SetSecondInstanceHandler([] { ADD_FAILURE() << "a second application object"; });
  }
  void TearDown() override { CKyrellApp::SetSecondInstanceHandler(previous_); }

  static void SetNumber(const char16_t* name, std::uint32_t value) {
    testing_support::SetRegDword(HKEY_CURRENT_USER, kBase, name, value);
  }
  // The engine's bar (File, Options, Help) after the shell's build.
  static HMENU BuildBar() {
    HMENU bar = CreateMenu();
    for (const char16_t* title : {u"&File", u"&Options", u"&Help"}) {
      HMENU popup = CreatePopupMenu();
      AppendMenuW(popup, MF_STRING, 1, u"engine item");
      AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), title);
    }
    ShellMenuBuild(bar);
    return bar;
  }
  Lines FileLines(const std::string& name) const {
    Lines lines;
    if (!testing_support::FileExists(folder() / name)) return lines;
    std::istringstream in(testing_support::ReadFile(folder() / name));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // The Internet library's calls since the last look, names and arguments.
  Lines Calls() {
    Lines lines = FileLines("trace");
    fs::remove(folder() / "trace");
    return lines;
  }
  std::vector<std::u16string> Messages() const {
    std::vector<std::u16string> texts;
    for (const auto& message : compat::mfc::RecordedMessages()) texts.push_back(message.text);
    return texts;
  }

  CKyrellApp::SecondInstanceHandler previous_ = nullptr;
};

const Lines kInternetHead = {"2002 Recommend Program to a Friend",
                             "-",
                             "2015 My Korvane",
                             "2003 Today's Special Offers",
                             "2004 Korvane free Service Letter",
                             "2010 Korvane Homepage",
                             "2005 Korvane Products",
                             "107 Korvane Support",
                             "-",
                             "32795 Buy Recordables online",
                             "-"};

Lines WithHead(const Lines& tail) {
  Lines all = kInternetHead;
  all.insert(all.end(), tail.begin(), tail.end());
  return all;
}

TEST_F(MenusTest, MenuTreeFollowsTheSettings) {
  const struct {
    const char* what;
    std::uint32_t update, upgrade, channels;
    Lines options;
    Lines internet;
  } rows[] = {
      {"update and upgrade offered, channels on", 2, 1, 1,
       {"1 engine item", "2000 Languages...", "2100 Channels..."},
       WithHead({"2006 Online Update", "2009 Upgrade to Korvane Orbweave 9 Gold", "-",
                 "1040 &Send Problem Report to Korvane..."})},
      {"neither update nor upgrade", 0, 0, 1,
       {"1 engine item", "2000 Languages...", "2100 Channels..."},
       WithHead({"1040 &Send Problem Report to Korvane..."})},
      {"update type 5, channels off", 5, 0, 0,
       {"1 engine item", "2000 Languages..."},
       WithHead({"2006 Online Update", "-", "1040 &Send Problem Report to Korvane..."})},
  };
  testing_support::SetRegString(HKEY_CURRENT_USER, kBase, u"UpgradeName", u"%APP_NAME% Gold");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    SetNumber(u"UpdateType", row.update);
    SetNumber(u"UpgradeType", row.upgrade);
    SetNumber(u"InfoChannelsEnabled", row.channels);
    MenuApp app;
    HMENU bar = BuildBar();
    EXPECT_EQ(Items(bar), (Lines{"[&File]", "[&Options]", "[Internet]", "[&Help]"}));
    EXPECT_EQ(Items(GetSubMenu(bar, 1)), row.options);
    EXPECT_EQ(Items(GetSubMenu(bar, 2)), row.internet);
    DestroyMenu(bar);
  }
  // The checker is asked about channels only when they are on, after it got
  // the engine's window export.
  const Lines calls = Calls();
  const std::string parent = "kinet_InfoCheckSetParentWindow set";
  EXPECT_EQ(std::count(calls.begin(), calls.end(), parent), 2);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "kinet_InfoCheckGetConfigureChannelsText 1"), 2);
}

TEST_F(MenusTest, ReportEntryNamesBetaAndAlphaVersions) {
  const std::pair<const char16_t*, bool> rows[] = {
      {u"9.12.0.194 (2210)", false}, {u"9.12 beta 2", true}, {u"10.0 alpha", true}, {u"9.12 Beta", false}};
  for (const auto& [version, preRelease] : rows) {
    EXPECT_EQ(ReportEntryIsBeta(version), preRelease) << Utf16ToUtf8(version);
  }
}

TEST_F(MenusTest, CheckerIsSetUpBeforeTheEngineStarts) {
  SetNumber(u"InfoChannelsEnabled", 1);
  MenuApp app;
  const std::string key = "\"SOFTWARE\\\\korvane\\\\Korvane Orbweave 9\\\\kvn_inet\"";
  EXPECT_EQ(Calls(), (Lines{"kinet_Init", "kinet_InfoCheckCreate", "kinet_InfoCheckSetRegistryKey HKLM " + key,
                            "kinet_InfoCheckSetUserRegistryKey HKCU " + key, "kinet_InfoCheckSetProduct \"2210\"",
                            "kinet_InfoCheckSetProductVersion \"9.12\"", "kinet_InfoCheckSetProductEdition \"\"",
                            "kinet_InfoCheckSetProductLang \"English\""}));
}

TEST_F(MenusTest, LinkCommandsOpenTheirPagesInTheBrowser) {
  MenuApp app;
  Calls();
  const std::pair<std::uint32_t, const char*> rows[] = {
      {2002, "friend"},   {2003, "advertising"}, {2004, "newsletter"}, {2005, "products"},
      {2010, "homepage"}, {2015, "mykorvane"},   {2017, "translation"}, {107, "support"},
  };
  for (const auto& [command, link] : rows) {
    EXPECT_EQ(ShellMenuCommand(command, 0), 0u);
    const Lines calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].starts_with("kinet_MakeLinkTargetURL \"" + std::string(link) + "\" \"2210\" \"9.12\" \"\""))
        << calls[0];
    EXPECT_TRUE(calls[0].ends_with(" \"syslang=" + Utf16ToUtf8(LangPackMan().SystemLanguageName().str()) + "\""));
  }
  const Lines opened = FileLines("opened");
  ASSERT_EQ(opened.size(), std::size(rows));
  EXPECT_TRUE(opened.back().starts_with("https://www.example.com/support?product=2210&version=9.12"));
  // The engine's own commands and unknown ones call nothing.
  for (std::uint32_t command : {1040u, 32795u, 1u}) EXPECT_EQ(ShellMenuCommand(command, 0), 0u);
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(Messages().empty());
}

TEST_F(MenusTest, BrowserFailureIsReported) {
  MenuApp app;
  SetEnv("OPENER_EXIT", "4");
  ShellMenuCommand(107, 0);
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Could not launch browser"});
}

TEST_F(MenusTest, SystemLanguageIsSentAsEscapedUtf8) {
  const std::pair<std::u16string, std::string> rows[] = {
      {u"de-at", "syslang=de-at"},
      {u"pt-BR (Bras\u00edl)", "syslang=pt-BR%20%28Bras%C3%ADl%29"},
      {u"\u4e2d&x=\"1\"\n", "syslang=%E4%B8%AD%26x%3D%221%22%0A"},
      {u"", "syslang="},
  };
  for (const auto& [name, expected] : rows) EXPECT_EQ(SystemLanguageParameter(CString(name)), expected);
}

TEST_F(MenusTest, UpdateAndUpgradeCommandsFollowTheirTypes) {
  const std::string feed = folder() / "feed.txt";
  testing_support::WriteFile(feed, "version=9.12\n");
  testing_support::SetRegString(HKEY_CURRENT_USER, kInet, u"UpdateFeed", compat::win32::Utf8ToUtf16(feed));
  const struct {
    std::uint32_t command;
    std::uint32_t type;
    const char* expected;  // the call that matters, or "" for none
  } rows[] = {
      {2006, 1, "kinet_MakeLinkTargetURL \"update\""},   {2006, 2, "kinet_UpdateManagerDoModalCheck null 0xB19"},
      {2006, 3, "kinet_UpdateManagerDoModalCheck null 0x319"}, {2006, 5, ""},
      {2009, 1, "kinet_MakeLinkTargetURL \"upgrade\""}, {2009, 2, "kinet_UpdateManagerDoModalCheck null 0x719"},
      {2009, 3, "kinet_UpdateManagerDoModalCheck null 0x319"}, {2009, 0, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.command) + " type " + std::to_string(row.type));
    SetNumber(row.command == 2006 ? u"UpdateType" : u"UpgradeType", row.type);
    MenuApp app;
    Calls();
    ShellMenuCommand(row.command, 0);
    const Lines calls = Calls();
    if (*row.expected == '\0') {
      EXPECT_TRUE(calls.empty());
    } else {
      EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [&](const std::string& call) {
        return call.starts_with(row.expected);
      }));
    }
    // An update manager lives for one check.
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "kinet_UpdateManagerCreate"),
              std::count(calls.begin(), calls.end(), "kinet_UpdateManagerDestroy"));
    EXPECT_FALSE(compat::win32::TakeQuitMessage(nullptr));
  }
}

TEST_F(MenusTest, UpdateCheckAndChannelCheckCanEndTheProgram) {
  const std::string feed = folder() / "feed.txt";
  testing_support::WriteFile(feed, "end=1\n");
  for (const char16_t* name : {u"UpdateFeed", u"ChannelFeed"})
    testing_support::SetRegString(HKEY_CURRENT_USER, kInet, name, compat::win32::Utf8ToUtf16(feed));
  SetNumber(u"UpdateType", 2);
  {
    MenuApp app;
    int code = -1;
    ShellMenuCommand(2006, 0);
    EXPECT_TRUE(compat::win32::TakeQuitMessage(&code));
    EXPECT_EQ(code, 0);

    code = -1;
    ShellIdle(0);
    EXPECT_TRUE(compat::win32::TakeQuitMessage(&code));
    EXPECT_EQ(code, 0);
    ShellIdle(0);  // the next automatic check is a day away
    EXPECT_FALSE(compat::win32::TakeQuitMessage(nullptr));
  }

  // Channels switched off: idle leaves the library alone.
  SetNumber(u"InfoChannelsEnabled", 0);
  MenuApp off;
  Calls();
  ShellIdle(0);
  EXPECT_TRUE(Calls().empty());
  EXPECT_FALSE(compat::win32::TakeQuitMessage(nullptr));
}

TEST_F(MenusTest, LanguageChosenInTheDialogIsKeptForTheNextStart) {
  MenuApp app;
  const int french = LangPackMan().Find(u"fr");
  ASSERT_GE(french, 0);
  SetEnv("ORBWEAVE_LANGUAGES_SCRIPT", "link,check:" + std::to_string(french) + ",ok");
  ShellMenuCommand(2000, 0);
  EXPECT_EQ(Messages(), std::vector<std::u16string>{
                            u"The application will use the new language the next time the application is started"});
  EXPECT_EQ(testing_support::GetRegString(HKEY_CURRENT_USER, kBase + u"\\General", u"Language"), u"fr");
  // The link opened the translation page.
  const Lines calls = Calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_TRUE(calls.back().starts_with("kinet_MakeLinkTargetURL \"translation\""));

  // Cancelled: nothing said, nothing written.
  compat::mfc::ClearRecordedMessages();
  SetEnv("ORBWEAVE_LANGUAGES_SCRIPT", "check:0,cancel");
  ShellMenuCommand(2000, 0);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(testing_support::GetRegString(HKEY_CURRENT_USER, kBase + u"\\General", u"Language"), u"fr");
}

// The real program and engine, installed with and without the Internet
// library: without it there are no channels and links cannot open, and the
// run still ends well.
TEST_F(MenusTest, ProgramRunsWithAndWithoutTheInternetLibrary) {
  const std::string bin = testing_support::BuildBin();
  for (const bool withLibrary : {true, false}) {
    SCOPED_TRACE(withLibrary ? "with kvn_inet" : "without kvn_inet");
    const std::string install = folder() / (withLibrary ? "with" : "without");
    fs::create_directory(install);
    for (const char* file : {"orbweave", "libcompat_win32.so", "liborbcore.so", "libkvn_spti.so", "libkvn_inet.so"}) {
      if (withLibrary || std::string(file) != "libkvn_inet.so") fs::copy(bin + "/" + file, install + "/" + file);
    }
    const std::string dump = install + "/dump.json";
    const testing_support::ProcessResult result = testing_support::Run(
        {.program = install + "/orbweave",
         .args = {},
         .env = {{"LC_ALL", "C.UTF-8"}, {"ORBCORE_DUMP", dump}, {"ORBCORE_SCRIPT", "build,command:2010,idle"}},
         .unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"}});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const nlohmann::json bar = testing_support::ReadJson(dump)["menuBar"];
    ASSERT_EQ(bar.size(), 4u);
    EXPECT_EQ(bar[2]["text"], "Internet");
    EXPECT_EQ(bar[1]["popup"].back()["text"], withLibrary ? "Channels..." : "Languages...");
    // No display: the link cannot open either way, and the user is told.
    EXPECT_NE(result.err.find("Could not launch browser"), std::string::npos) << result.err;
    const Lines calls = Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "kinet_InfoCheckStartAllAuto"), withLibrary ? 1 : 0);
  }
}

// An update check that must end the program closes the engine's session:
// the engine takes the shell's quit message and runs no further step.
TEST_F(MenusTest, QuitFromAnUpdateCheckEndsTheEngineSession) {
  const std::string feed = folder() / "feed.txt";
  testing_support::WriteFile(feed, "version=9.13\nend=1\n");
  testing_support::SetRegString(HKEY_CURRENT_USER, kInet, u"UpdateFeed", compat::win32::Utf8ToUtf16(feed));
  SetNumber(u"UpdateType", 3);
  const std::string dump = folder() / "dump.json";
  const testing_support::ProcessResult result = testing_support::Run(
      {.program = testing_support::BuildBin() + "/orbweave",
       .args = {},
       .env = {{"LC_ALL", "C.UTF-8"}, {"ORBCORE_DUMP", dump}, {"ORBCORE_SCRIPT", "build,command:2006,command:2002"}},
       .unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"}});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const nlohmann::json run = testing_support::ReadJson(dump);
  Lines steps;
  for (const auto& step : run["steps"]) steps.push_back(step["name"]);
  EXPECT_EQ(steps, (Lines{"build", "command:2006", "quit"}));
  EXPECT_NE(result.err.find("Version 9.13 is available"), std::string::npos) << result.err;
}

}  // namespace
