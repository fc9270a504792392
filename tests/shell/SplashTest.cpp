#include "shell/Splash.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "compat/mfc/Backend.h"
#include "compat/mfc/Wnd.h"
#include "compat/win32/Module.h"
#include "compat/win32/StringConv.h"
#include "tests/support/IsolatedTest.h"

namespace {

using compat::mfc::RecordedWindowCalls;

// A clock that moves only when the splash sleeps or draws: each frame drawn
// costs `frameCost` ms. `onSleep` runs before each sleep counts.
class SplashTest : public testing_support::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    SetEnv("COMPAT_SCREEN_SIZE", "1000x700");
    compat::mfc::UseRecordingBackend();
    UseBlendLibrary(u"msimg32.dll");
    EnableSplash(true);
  }
  void TearDown() override {
    SetSplashEnvironment({});
    EnableSplash(false);
    IsolatedTest::TearDown();
  }

  void UseBlendLibrary(LPCWSTR library, HMODULE pictures = nullptr) {
    SetSplashEnvironment({[this] { return Now(); },
                          [this](DWORD ms) {
                            if (onSleep) onSleep(ms);
                            sleeps.push_back(ms);
                            slept += ms;
                          },
                          library, pictures});
  }
  DWORD Now() const { return 100000 + slept + frameCost * static_cast<DWORD>(Draws().size()); }
  static std::vector<std::string> Draws() {
    std::vector<std::string> draws;
    for (const std::string& call : RecordedWindowCalls()) {
      if (call.rfind("draw ", 0) == 0) draws.push_back(call.substr(call.find(" opacity ") + 9));
    }
    return draws;
  }

  DWORD slept = 0;
  DWORD frameCost = 0;
  std::vector<DWORD> sleeps;
  std::function<void(DWORD)> onSleep;
};

std::vector<std::string> FadeOpacities() {
  std::vector<std::string> opacities;
  for (int step = 0; step < 32; ++step) opacities.push_back(std::to_string(step * 8));
  return opacities;
}

TEST_F(SplashTest, FramesAndWaitsFollowTheFrameDelayAndTheMinimumTime) {
  struct Row {
    bool fade;
    DWORD frameDelay, frameCost;
    std::vector<DWORD> sleeps;  // 32 equal frame sleeps are given as one, then the final wait
    const char* what;
    bool blend = true;  // whether the blending call is there
  };
  const Row rows[] = {
      {true, 30, 10, {20, 540}, "frames sleep the rest of the delay, then the rest of the minimum"},
      {true, 60, 0, {60}, "32 frames of 60 ms outlast the minimum: no final wait"},
      {true, 60, 70, {}, "frames slower than the delay: no sleep at all"},
      {true, 60, 60, {}, "frames exactly as long as the delay: no sleep either"},
      {false, 60, 70, {1500}, "without fading: one opaque paint, then the whole minimum"},
      {true, 30, 10, {20, 540}, "without the blending call the picture is copied, with the same timing", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    compat::mfc::UseRecordingBackend();
    UseBlendLibrary(row.blend ? u"msimg32.dll" : u"no_such_blend_library.dll");
    sleeps.clear();
    slept = 0;
    frameCost = row.frameCost;
    ShowSplash(row.fade, 1500, row.frameDelay, nullptr);
    EXPECT_EQ(Draws(), !row.fade ? std::vector<std::string>{"255"}
                       : row.blend ? FadeOpacities() : std::vector<std::string>(32, "255"));
    std::vector<DWORD> expected;
    if (row.fade && !row.sleeps.empty() && row.sleeps[0] < row.frameDelay + 1) {
      expected.assign(32, row.sleeps[0]);
      expected.insert(expected.end(), row.sleeps.begin() + 1, row.sleeps.end());
    } else {
      expected = row.sleeps;
    }
    EXPECT_EQ(sleeps, expected);
    // Made at the picture's size, centred on the screen, gone again.
    const std::vector<std::string>& calls = RecordedWindowCalls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front(), "create 0,0 480x300");
    EXPECT_EQ(calls[1].substr(calls[1].find(' ', 5)), " 260,200");
    EXPECT_EQ(calls.back().rfind("destroy ", 0), 0u);
    EXPECT_EQ(SplashWindow(), nullptr);
  }
}

TEST(SplashDefaults, NothingIsShownUntilStartUpAllowsIt) {
  compat::mfc::UseRecordingBackend();
  ShowSplash(false, 0, 0, nullptr);
  EXPECT_TRUE(RecordedWindowCalls().empty());
}

TEST_F(SplashTest, OnlyOneSplashAndOnlyWhenAllowed) {
  EnableSplash(false);
  ShowSplash(true, 1500, 60, nullptr);
  EXPECT_TRUE(RecordedWindowCalls().empty());
  EnableSplash(true);
  int nested = 0;
  onSleep = [&](DWORD) {
    if (nested++ == 0) ShowSplash(false, 1500, 60, nullptr);
  };
  ShowSplash(false, 1500, 60, nullptr);
  EXPECT_EQ(Draws(), std::vector<std::string>{"255"});
  EXPECT_EQ(sleeps, std::vector<DWORD>{1500});
}

TEST_F(SplashTest, AKeyOrClickClosesItAndEndsTheWait) {
  const UINT closing[] = {WM_KEYDOWN,      WM_SYSKEYDOWN,    WM_LBUTTONDOWN,   WM_RBUTTONDOWN,
                          WM_MBUTTONDOWN,  WM_NCLBUTTONDOWN, WM_NCRBUTTONDOWN, WM_NCMBUTTONDOWN};
  for (const UINT message : closing) {
    compat::mfc::UseRecordingBackend();
    sleeps.clear();
    onSleep = [&](DWORD) {
      if (sleeps.size() != 2) return;
      MSG other{SplashWindow()->m_hWnd, 0x0200 /* mouse move */, 0, 0, 0, {0, 0}};
      EXPECT_FALSE(PreTranslateAppMessage(&other));
      MSG msg{SplashWindow()->m_hWnd, message, 0, 0, 0, {0, 0}};
      EXPECT_TRUE(PreTranslateAppMessage(&msg)) << message;
      EXPECT_EQ(SplashWindow(), nullptr);
    };
    ShowSplash(true, 1500, 60, nullptr);
    EXPECT_EQ(Draws().size(), 3u) << message;
    EXPECT_EQ(sleeps.size(), 3u);
    EXPECT_EQ(RecordedWindowCalls().back().rfind("destroy ", 0), 0u);
  }
  MSG msg{nullptr, WM_KEYDOWN, 0, 0, 0, {0, 0}};
  EXPECT_FALSE(PreTranslateAppMessage(&msg));  // no splash: not consumed
}

// A picture that is missing, cut off or not a picture at all: no window, no wait, start-up goes on.
TEST_F(SplashTest, ADamagedOrMissingPictureSkipsTheSplash) {
  for (const LPCWSTR module : {u"engine_without_exports.dll", u"splash_picture_truncated.dll",
                               u"splash_picture_garbage.dll"}) {
    SCOPED_TRACE(compat::win32::Utf16ToUtf8(module));
    const HMODULE pictures = LoadLibraryW(module);
    ASSERT_NE(pictures, nullptr);
    UseBlendLibrary(u"msimg32.dll", pictures);
    ShowSplash(true, 1500, 60, nullptr);
    EXPECT_TRUE(RecordedWindowCalls().empty());
    EXPECT_TRUE(sleeps.empty());
    EXPECT_EQ(SplashWindow(), nullptr);
    FreeLibrary(pictures);
  }
}

// Without a display no window can be made: the splash returns at once, its picture unread.
TEST_F(SplashTest, WithoutADisplayNothingIsShownOrAwaited) {
  compat::mfc::UseConsoleBackend();
  ShowSplash(true, 1500, 60, nullptr);
  EXPECT_TRUE(sleeps.empty());
  EXPECT_EQ(SplashWindow(), nullptr);
}

TEST_F(SplashTest, PaintingAskedForBySystemFollowsTheWindowsOwnFadeAndTheTimerEndsIt) {
  onSleep = [&](DWORD) {
    if (sleeps.size() != 0) return;
    // The window was made at 100000; 2500 ms later it is half-way.
    slept = 2500;
    SplashWindow()->SendMessage(WM_PAINT);
    EXPECT_EQ(Draws().back(), "127");
    slept = 3750;  // a tick draws the fade as it stands then
    SplashWindow()->SendMessage(WM_TIMER, 1);
    EXPECT_EQ(Draws().back(), "191");
    slept = 5000;  // the fade period is over exactly now
    SplashWindow()->SendMessage(WM_PAINT);
    EXPECT_EQ(Draws().back(), "255");
    SplashWindow()->SendMessage(WM_TIMER, 1);
    EXPECT_EQ(SplashWindow(), nullptr);
  };
  ShowSplash(false, 1500, 60, nullptr);
  EXPECT_EQ(sleeps.size(), 1u);
}

}  // namespace
