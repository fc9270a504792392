// Under a virtual display the engine opens its real main window; a screenshot is kept in the build folder.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "compat/win32/StringConv.h"

#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"
#include "tests/support/VirtualDisplay.h"

namespace {

using EngineWindow = testing_support::IsolatedTest;

TEST_F(EngineWindow, OpensUnderADisplayAndIsPhotographed) {
  testing_support::VirtualDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "no Xvfb on this machine";

  const std::string bin = testing_support::BuildBin();
  const std::string dump = folder() / "dump.json";
  testing_support::BackgroundProgram program({.program = bin + "/orbweave",
                                              .args = {"-autoplay", "-selectdrive", "E:", "-copy"},
                                              .env = {{"DISPLAY", display.name()}, {"ORBCORE_DUMP", dump},
                                                      {"LC_ALL", "C.UTF-8"}, {"ORBCORE_CLOSE_AFTER", "5000"}},
                                              .unsetEnv = {"ORBCORE_SCRIPT", "WAYLAND_DISPLAY"},
                                              .timeout = std::chrono::seconds(60)});

  ASSERT_TRUE(testing_support::WaitForFile(dump, std::chrono::seconds(30)));
  // Give the window time to map and paint before the picture is taken.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  std::filesystem::create_directories(bin + "/../screenshots");
  const std::string shot = bin + "/../screenshots/engine-window.png";
  EXPECT_TRUE(display.Screenshot(shot));

  const auto result = program.Wait();
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(testing_support::ReadJson(dump)["window"], "shown");
  // A real window on a grey root is far from a blank picture.
  EXPECT_GT(std::filesystem::file_size(shot), 8000u);
}

TEST_F(EngineWindow, TheSplashFadesInAndIsPhotographedHalfWay) {
  testing_support::VirtualDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "no Xvfb on this machine";
  const std::string bin = testing_support::BuildBin();
  const std::string shots = bin + "/../screenshots";
  std::filesystem::create_directories(shots);
  for (const char* frame : {"3", "16"}) std::filesystem::remove(shots + "/splash-frame-" + frame + ".png");
  const auto result = testing_support::Run({.program = bin + "/shell_splash_probe",
                                            .args = {},
                                            .env = {{"DISPLAY", display.name()}, {"SPLASH_SHOT_FOLDER", shots}},
                                            .unsetEnv = {"WAYLAND_DISPLAY"},
                                            .timeout = std::chrono::seconds(60)});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  // Frames slower than the delay are not followed by a sleep, so on a busy
  // machine fewer than 32 sleeps are seen; the frame arithmetic itself is
  // checked with an injected clock. Here: a real screen, and both pictures.
  EXPECT_NE(result.out.find(", screen yes"), std::string::npos) << result.out;
  for (const char* frame : {"3", "16"}) {
    EXPECT_TRUE(std::filesystem::exists(shots + "/splash-frame-" + frame + ".png")) << result.out;
  }
  // Half-way the picture on the black root is far from a blank screen.
  EXPECT_GT(std::filesystem::file_size(shots + "/splash-frame-16.png"), 8000u);
}

// The display's server killed while the splash fades: the splash ends, and the start goes on as
// one without a display, down to the engine taking over the list file.
TEST_F(EngineWindow, ADisplayLostDuringTheFadeEndsTheSplashNotTheProgram) {
  testing_support::VirtualDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "no Xvfb on this machine";
  const std::string bin = testing_support::BuildBin();
  const std::string dump = folder() / "dump.json";
  const std::string list = folder() / "list.txt";
  std::u16string text = compat::win32::Utf8ToUtf16("Z:" + folder().path() + "\r\n");
  std::replace(text.begin(), text.end(), u'/', u'\\');
  testing_support::WriteFile(list, testing_support::Utf16Bytes(text, false, true));
  testing_support::BackgroundProgram program({.program = bin + "/orbweave",
                                              .args = {"-datacd", list},
                                              .env = {{"DISPLAY", display.name()}, {"ORBCORE_DUMP", dump},
                                                      {"LC_ALL", "C.UTF-8"}},
                                              .unsetEnv = {"ORBCORE_SCRIPT", "WAYLAND_DISPLAY"},
                                              .timeout = std::chrono::seconds(60)});
  // The fade takes 32 frames of 60 ms at least: the server goes while it runs.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  bool shown = false;
  while (!shown && std::chrono::steady_clock::now() < deadline) {
    shown = testing_support::Run({.program = "/usr/bin/xdotool",
                                  .args = {"search", "--onlyvisible", "--pid", std::to_string(program.pid())},
                                  .env = {{"DISPLAY", display.name()}},
                                  .unsetEnv = {}})
                .exitCode == 0;
  }
  ASSERT_TRUE(shown) << "no splash came up";
  display.Kill();

  const auto result = program.Wait();
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("lost the connection to the display; going on without windows"), std::string::npos)
      << result.err;
  const nlohmann::json ran = testing_support::ReadJson(dump);
  EXPECT_EQ(ran["window"], "none");
  EXPECT_EQ(ran["record"]["60"]["12"].size(), 1u) << ran["record"]["60"];
  EXPECT_FALSE(testing_support::FileExists(list));
}

// The splash ends early, and start-up goes on, when the first frame cannot be drawn (a picture whose
// chunks are whole but whose data does not decode; no report of the toolkit's may wait in a box at
// shut-down) and when the server is killed at the first frame's sleep (no frame after it, and the
// framework answers as without a display from then on).
TEST_F(EngineWindow, TheSplashEndsAtOnceWhenAFrameCannotBeDrawn) {
  for (const bool killServer : {false, true}) {
    testing_support::VirtualDisplay display;
    if (display.name().empty()) GTEST_SKIP() << "no Xvfb on this machine";
    testing_support::ProgramRun run{.program = testing_support::BuildBin() + "/shell_splash_probe",
                                    .args = {},
                                    .env = {{"DISPLAY", display.name()}},
                                    .unsetEnv = {"WAYLAND_DISPLAY"},
                                    .timeout = std::chrono::seconds(60)};
    if (killServer) {
      run.env["SPLASH_KILL_SERVER"] = std::to_string(display.pid());
    } else {
      run.env["SPLASH_PICTURE_MODULE"] = "splash_picture_undecodable.dll";
    }
    const auto result = testing_support::Run(run);
    if (killServer && result.out.find("frames 0,") != std::string::npos) GTEST_SKIP() << "no frame slept";
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find(killServer ? "frames 1, screen no" : "frames 0, screen yes"), std::string::npos)
        << result.out;
  }
}

// The server killed while a new window's first events (mapped, focused, exposed) wait unread:
// handling them asks the server questions that get no answer, and the program goes on without
// windows instead of reading answers that never came.
TEST_F(EngineWindow, EventsHandledAfterTheServerWentEndOnlyTheWindows) {
  testing_support::VirtualDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "no Xvfb on this machine";
  const auto result = testing_support::Run({.program = testing_support::BuildBin() + "/shell_splash_probe",
                                            .args = {},
                                            .env = {{"DISPLAY", display.name()},
                                                    {"SPLASH_KILL_SERVER_UNREAD", std::to_string(display.pid())}},
                                            .unsetEnv = {"WAYLAND_DISPLAY"},
                                            .timeout = std::chrono::seconds(60)});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("popup made, kept no, screen no"), std::string::npos) << result.out << result.err;
}

// Under the engine's window, which runs a loop of its own, a lost display ends the program: with
// one line and status 1, not waiting for a window that can no longer be closed.
TEST_F(EngineWindow, ADisplayLostUnderTheEnginesWindowEndsTheProgram) {
  testing_support::VirtualDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "no Xvfb on this machine";
  const std::string dump = folder() / "dump.json";
  testing_support::BackgroundProgram program({.program = testing_support::BuildBin() + "/orbweave",
                                              .args = {},
                                              .env = {{"DISPLAY", display.name()}, {"ORBCORE_DUMP", dump},
                                                      {"LC_ALL", "C.UTF-8"}},
                                              .unsetEnv = {"ORBCORE_SCRIPT", "WAYLAND_DISPLAY"},
                                              .timeout = std::chrono::seconds(60)});
  ASSERT_TRUE(testing_support::WaitForFile(dump, std::chrono::seconds(30)));
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  display.Kill();
  const auto result = program.Wait();
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_NE(result.err.find("orbweave: lost the connection to the display\n"), std::string::npos) << result.err;
}

}  // namespace
