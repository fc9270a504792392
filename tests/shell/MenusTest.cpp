// The shell's menus in the engine's menu bar and their commands, with the
// Internet library's calls as it records them ($KVN_INET_TRACE) and the
// browser a script on PATH that keeps the address it was given.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "compat/mfc/Backend.h"
#include "compat/win32/Menu.h"
#include "compat/win32/Message.h"
#include "compat/win32/StringConv.h"
#include "langpacks/LangPackMan.h"
#include "shell/Kyrell.h"
#include "shell/Menus.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using compat::win32::Utf16ToUtf8;
using compat::win32::Utf8ToUtf16;
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
    const std::string name = Utf16ToUtf8(text);
    items.push_back(GetSubMenu(menu, i) ? "[" + name + "]" : id == 0 ? "-" : std::to_string(id) + " " + name);
  }
  return items;
}

Lines LinesOf(const std::string& file) {
  Lines lines;
  std::istringstream in(testing_support::FileExists(file) ? testing_support::ReadFile(file) : "");
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
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
  void SetFeed(const char16_t* name, const std::string& content) const {
    testing_support::WriteFile(folder() / "feed.txt", content);
    testing_support::SetRegString(HKEY_CURRENT_USER, kInet, name, Utf8ToUtf16(folder() / "feed.txt"));
  }
  // The Internet library's calls since the last look, names and arguments.
  Lines Calls() {
    Lines lines = LinesOf(folder() / "trace");
    fs::remove(folder() / "trace");
    return lines;
  }
  static std::vector<std::u16string> Messages() {
    std::vector<std::u16string> texts;
    for (const auto& message : compat::mfc::RecordedMessages()) texts.push_back(message.text);
    return texts;
  }

  CKyrellApp::SecondInstanceHandler previous_ = nullptr;
};

Lines Internet(std::initializer_list<std::string> tail) {
  Lines all = {"2002 Recommend Program to a Friend",
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
  all.insert(all.end(), tail);
  return all;
}

TEST_F(MenusTest, MenuTreeFollowsTheSettings) {
  const std::string report = "1040 &Send Problem Report to Korvane...";
  const Lines withChannels = {"1 engine", "2000 Languages...", "2100 Channels..."};
  const struct {
    std::uint32_t update, upgrade, channels;
    Lines options, internet;
  } rows[] = {
      {2, 1, 1, withChannels, Internet({"2006 Online Update", "2009 Upgrade to Korvane Orbweave 9 Gold", "-", report})},
      {0, 0, 1, withChannels, Internet({report})},
      {5, 0, 0, {"1 engine", "2000 Languages..."}, Internet({"2006 Online Update", "-", report})},
  };
  testing_support::SetRegString(HKEY_CURRENT_USER, kBase, u"UpgradeName", u"%APP_NAME% Gold");
  testing_support::SetRegDword(HKEY_CURRENT_USER, kInet, u"ChannelInterval", 0);  // every idle call checks
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "update " << row.update << " upgrade " << row.upgrade);
    SetNumber(u"UpdateType", row.update);
    SetNumber(u"UpgradeType", row.upgrade);
    SetNumber(u"InfoChannelsEnabled", row.channels);
    MenuApp app;
    HMENU bar = CreateMenu();
    for (const char16_t* title : {u"&File", u"&Options", u"&Help"}) {
      HMENU popup = CreatePopupMenu();
      AppendMenuW(popup, MF_STRING, 1, u"engine");
      AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), title);
    }
    Calls();
    ShellMenuBuild(bar);
    ShellIdle(0);
    EXPECT_EQ(Items(bar), (Lines{"[&File]", "[&Options]", "[Internet]", "[&Help]"}));
    EXPECT_EQ(Items(GetSubMenu(bar, 1)), row.options);
    EXPECT_EQ(Items(GetSubMenu(bar, 2)), row.internet);
    DestroyMenu(bar);
    // The checker gets the engine's window export before it is asked about
    // channels; with channels off neither that nor the idle check happens.
    const Lines expected = row.channels == 0
                               ? Lines{}
                               : Lines{"kinet_InfoCheckSetParentWindow set",
                                       "kinet_InfoCheckGetConfigureChannelsText 1", "kinet_InfoCheckStartAllAuto"};
    EXPECT_EQ(Calls(), expected);
  }
  for (const auto& [version, beta] :
       {std::pair{u"9.12.0.194 (2210)", false}, {u"beta 2", true}, {u"10.0 alpha", true}, {u"9.12 Beta", false}}) {
    EXPECT_EQ(ReportEntryIsBeta(version), beta) << Utf16ToUtf8(version);
  }
}

TEST_F(MenusTest, LinkCommandsOpenTheirPagesInTheBrowser) {
  MenuApp app;
  // The start hands the channel checker its keys and the product, in ANSI.
  const std::string key = "\"SOFTWARE\\\\korvane\\\\Korvane Orbweave 9\\\\kvn_inet\"";
  EXPECT_EQ(Calls(), (Lines{"kinet_Init", "kinet_InfoCheckCreate", "kinet_InfoCheckSetRegistryKey HKLM " + key,
                            "kinet_InfoCheckSetUserRegistryKey HKCU " + key, "kinet_InfoCheckSetProduct \"2210\"",
                            "kinet_InfoCheckSetProductVersion \"9.12\"", "kinet_InfoCheckSetProductEdition \"\"",
                            "kinet_InfoCheckSetProductLang \"English\""}));
  const std::pair<std::uint32_t, const char*> rows[] = {
      {2002, "friend"},   {2003, "advertising"}, {2004, "newsletter"},  {2005, "products"},
      {2010, "homepage"}, {2015, "mykorvane"},   {2017, "translation"}, {107, "support"},
  };
  const std::string system = Utf16ToUtf8(LangPackMan().SystemLanguageName().str());
  for (const auto& [command, link] : rows) {
    EXPECT_EQ(ShellMenuCommand(command, 0), 0u);
    EXPECT_EQ(Calls(), Lines{"kinet_MakeLinkTargetURL \"" + std::string(link) +
                             "\" \"2210\" \"9.12\" \"\" \"English\" \"syslang=" + system + "\""});
  }
  const Lines opened = LinesOf(openedFile());
  ASSERT_EQ(opened.size(), std::size(rows));
  EXPECT_TRUE(opened.back().starts_with("https://www.example.com/support?product=2210&version=9.12"));
  // The engine's own commands and unknown ones call nothing.
  for (std::uint32_t command : {1040u, 32795u, 1u}) ShellMenuCommand(command, 0);
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(Messages().empty());

  SetEnv("OPENER_EXIT", "4");  // the browser does not start
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
  SetFeed(u"UpdateFeed", "version=9.12\n");
  const struct {
    std::uint32_t command, type;
    const char* expected;  // the call that matters, or "" for none
  } rows[] = {
      {2006, 1, "kinet_MakeLinkTargetURL \"update\""},         {2006, 2, "kinet_UpdateManagerDoModalCheck null 0xB19"},
      {2006, 3, "kinet_UpdateManagerDoModalCheck null 0x319"}, {2006, 5, ""},
      {2009, 1, "kinet_MakeLinkTargetURL \"upgrade\""},        {2009, 2, "kinet_UpdateManagerDoModalCheck null 0x719"},
      {2009, 3, "kinet_UpdateManagerDoModalCheck null 0x319"}, {2009, 0, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.command << " type " << row.type);
    SetNumber(row.command == 2006 ? u"UpdateType" : u"UpgradeType", row.type);
    MenuApp app;
    Calls();
    ShellMenuCommand(row.command, 0);
    const Lines calls = Calls();
    EXPECT_EQ(std::ranges::any_of(calls, [&](const std::string& call) { return call.starts_with(row.expected); }),
              *row.expected != '\0');
    // An update manager lives for one check.
    EXPECT_EQ(std::ranges::count(calls, "kinet_UpdateManagerCreate"),
              std::ranges::count(calls, "kinet_UpdateManagerDestroy"));
    EXPECT_FALSE(compat::win32::TakeQuitMessage(nullptr));
  }
}

TEST_F(MenusTest, ChannelCheckThatMustEndPostsTheQuitMessage) {
  SetFeed(u"ChannelFeed", "end=1\n");
  MenuApp app;
  int code = -1;
  ShellIdle(0);
  EXPECT_TRUE(compat::win32::TakeQuitMessage(&code));
  EXPECT_EQ(code, 0);
}

TEST_F(MenusTest, LanguageChosenInTheDialogIsKeptForTheNextStart) {
  MenuApp app;
  const int french = LangPackMan().Find(u"fr");
  ASSERT_GE(french, 0);
  const auto language = [] {
    return testing_support::GetRegString(HKEY_CURRENT_USER, kBase + u"\\General", u"Language");
  };
  SetEnv("ORBWEAVE_LANGUAGES_SCRIPT", "link,check:" + std::to_string(french) + ",ok");
  ShellMenuCommand(2000, 0);
  EXPECT_EQ(Messages(), std::vector<std::u16string>{
                            u"The application will use the new language the next time the application is started"});
  EXPECT_EQ(language(), u"fr");
  // The link opened the translation page.
  const Lines calls = Calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_TRUE(calls.back().starts_with("kinet_MakeLinkTargetURL \"translation\""));

  // Cancelled: nothing said, nothing written.
  compat::mfc::ClearRecordedMessages();
  SetEnv("ORBWEAVE_LANGUAGES_SCRIPT", "check:0,cancel");
  ShellMenuCommand(2000, 0);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(language(), u"fr");
}

// The real program and engine, installed with and without the Internet
// library. Without it there are no channels and links cannot open; with it an
// update check that must end the program ends the engine's session.
TEST_F(MenusTest, ProgramRunsWithAndWithoutTheInternetLibrary) {
  const std::string bin = testing_support::BuildBin();
  SetFeed(u"UpdateFeed", "version=9.13\nend=1\n");
  SetNumber(u"UpdateType", 3);
  for (const bool withLibrary : {true, false}) {
    SCOPED_TRACE(withLibrary ? "with kvn_inet" : "without kvn_inet");
    const std::string install = folder() / (withLibrary ? "with" : "without");
    fs::create_directory(install);
    for (const char* file : {"orbweave", "libcompat_win32.so", "liborbcore.so", "libkvn_spti.so", "libkvn_inet.so"}) {
      if (withLibrary || std::string(file) != "libkvn_inet.so") fs::copy(bin + "/" + file, install + "/" + file);
    }
    const std::string dump = install + "/dump.json";
    const testing_support::ProcessResult result =
        testing_support::Run({.program = install + "/orbweave",
                              .args = {},
                              .env = {{"LC_ALL", "C.UTF-8"},
                                      {"ORBCORE_DUMP", dump},
                                      {"ORBCORE_SCRIPT", "build,command:2010,idle,command:2006,idle"}},
                              .unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"}});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const nlohmann::json run = testing_support::ReadJson(dump);
    EXPECT_EQ(run["menuBar"][2]["text"], "Internet");
    EXPECT_EQ(run["menuBar"][1]["popup"].back()["text"], withLibrary ? "Channels..." : "Languages...");
    EXPECT_EQ(run["steps"].back()["name"], withLibrary ? "quit" : "idle");
    // No display: the link cannot open either way, and the user is told.
    EXPECT_NE(result.err.find("Could not launch browser"), std::string::npos) << result.err;
    EXPECT_EQ(std::ranges::count(Calls(), "kinet_InfoCheckStartAllAuto"), withLibrary ? 1 : 0);
  }
}

}  // namespace
