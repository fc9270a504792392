// Under a virtual display: the engine's window with the shell's Internet menu
// open, the language dialog opened from the Options menu and the online
// update's answer, driven with xdotool's keys; the screenshots are kept in the
// build folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "compat/win32/StringConv.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"
#include "tests/support/VirtualDisplay.h"

namespace {

constexpr char kXdotool[] = "/usr/bin/xdotool";

class MenusWindow : public testing_support::IsolatedTest {
 protected:
  // xdotool on the test's display; its standard output without the newline.
  std::string Xdotool(std::initializer_list<std::string> args) const {
    const testing_support::ProcessResult result =
        testing_support::Run({.program = kXdotool, .args = args, .env = {{"DISPLAY", display_}}, .unsetEnv = {}});
    std::string out = result.out;
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out.substr(0, out.find('\n'));
  }
  // Gives the keys to the first visible window whose title contains `title`.
  void Keys(const std::string& title, std::initializer_list<std::string> keys) const {
    const std::string window = Xdotool({"search", "--sync", "--onlyvisible", "--name", title});
    ASSERT_FALSE(window.empty()) << title;
    Xdotool({"windowfocus", "--sync", window});
    Xdotool({"mousemove", "--window", window, "40", "40"});
    for (const std::string& key : keys) {
      Xdotool({"key", key});
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
  }
  void Photograph(const testing_support::VirtualDisplay& display, const std::string& name) const {
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    const std::string shot = shots_ + "/" + name;
    EXPECT_TRUE(display.Screenshot(shot));
    // A window on the black root is far from a blank picture.
    EXPECT_GT(std::filesystem::file_size(shot), 8000u) << name;
  }

  std::string display_;
  std::string shots_ = testing_support::BuildBin() + "/../screenshots";
};

TEST_F(MenusWindow, InternetMenuLanguageDialogAndUpdateOpenInTheEngineWindow) {
  testing_support::VirtualDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "no Xvfb on this machine";
  if (access(kXdotool, X_OK) != 0) GTEST_SKIP() << "no xdotool on this machine";
#ifdef ORBWEAVE_SANITIZED_BUILD
  // Keys typed at a fixed pace race the much slower event loop of a
  // sanitizer build (the desktop libraries are not built for it), so a menu
  // may not be open yet when its next key comes; the plain build drives it.
  GTEST_SKIP() << "keys at a fixed pace outrun a sanitizer build's event loop";
#endif
  display_ = display.name();
  std::filesystem::create_directories(shots_);

  const std::string bin = testing_support::BuildBin();
  const std::string dump = folder() / "dump.json";
  SetEnv("KVN_INET_TRACE", folder() / "trace");
  testing_support::WriteFile(folder() / "feed.txt", "version=9.13\nmessage=Faster writing.\n");
  testing_support::SetRegString(HKEY_CURRENT_USER, u"SOFTWARE\\korvane\\Korvane Orbweave 9\\kvn_inet", u"UpdateFeed",
                                compat::win32::Utf8ToUtf16(folder() / "feed.txt"));
  testing_support::BackgroundProgram program({.program = bin + "/orbweave",
                                              .args = {},
                                              .env = {{"DISPLAY", display.name()},
                                                      {"ORBCORE_DUMP", dump},
                                                      {"LC_ALL", "C.UTF-8"},
                                                      {"ORBCORE_CLOSE_AFTER", "40000"}},
                                              .unsetEnv = {"ORBCORE_SCRIPT", "WAYLAND_DISPLAY"},
                                              .timeout = std::chrono::seconds(60)});
  ASSERT_TRUE(testing_support::WaitForFile(dump, std::chrono::seconds(30)));

  // The menu bar's keys: F10 opens "File"; "Internet" is two to the right.
  Keys("Orbweave 9 9.12", {"F10", "Right", "Right"});
  Photograph(display, "menus-internet.png");
  // "Options", its two engine entries, then "Languages...".
  Keys("Orbweave 9 9.12", {"Left", "Down", "Down", "Down", "Return"});
  Photograph(display, "menus-languages.png");
  Keys("Please choose a Language", {"Escape"});
  // "Internet", from its end: the problem report, then "Online Update".
  Keys("Orbweave 9 9.12", {"F10", "Right", "Right", "Up", "Up", "Return"});
  Photograph(display, "menus-update.png");
  Keys("Online Update", {"Return"});
  // File, Exit.
  Keys("Orbweave 9 9.12", {"F10", "Down", "Return"});

  const auto result = program.Wait();
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(testing_support::ReadJson(dump)["window"], "shown");
  // The checker offered channels while the bar was built.
  const std::string trace = testing_support::ReadFile(folder() / "trace");
  EXPECT_NE(trace.find("kinet_InfoCheckGetConfigureChannelsText 1"), std::string::npos);
  EXPECT_NE(trace.find("kinet_UpdateManagerDoModalCheck set 0xB19"), std::string::npos);
}

}  // namespace
