// The wxWidgets backend: a framework program shows real message boxes and answers them itself.
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/TestSupport.h"
#include "tests/support/VirtualDisplay.h"

namespace {

testing_support::ProcessResult RunProbe(const std::string& display, const char* probe = "compat_mfc_wx_probe") {
  testing_support::ProgramRun run;
  run.program = testing_support::BuildBin() + "/" + probe;
  run.env = {{"DISPLAY", display}, {"LC_ALL", "C.UTF-8"}};
  run.unsetEnv = {"WAYLAND_DISPLAY"};
  run.timeout = std::chrono::seconds(90);
  return testing_support::Run(run);
}

TEST(WxBackendTest, MessageBoxesAppearOnTheDisplayAndAnswerAsTheFrameworkDoes) {
  testing_support::VirtualDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "no Xvfb on this machine";
  const testing_support::ProcessResult result = RunProbe(display.name());
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  // Before wxWidgets starts and after it ends boxes go to the console. Closed without a button, a box
  // answers Cancel, or its last button when it has no Cancel.
  EXPECT_EQ(result.out,
            "display=yes\nbefore=1\nstarted=yes gui=yes\n"
            "box1 answer=1 style=[ok icon-error] mapped=1 title=[Korvane Orbweave 9] "
            "text=[Could not load orbcore.dll] kind=error\n"
            "box2 answer=6 style=[yes+no no-default icon-question] mapped=1 title=[Korvane Orbweave 9] "
            "text=[Replace the disc?] kind=question\n"
            "box3 answer=2 style=[ok+cancel icon-warning] mapped=1 title=[Korvane Orbweave 9] "
            "text=[Low on space] kind=warning\n"
            "box4 answer=2 style=[yes+no+cancel cancel-default icon-none] mapped=1 title=[Korvane Orbweave 9] "
            "text=[Keep the files?] kind=other\n"
            "box5 answer=7 style=[yes+no icon-none] mapped=1 title=[Korvane Orbweave 9] "
            "text=[Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC] kind=other\n"
            "after=1\n")
      << result.err;
  EXPECT_NE(result.err.find("wx_probe: information: Before the window system\n"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("wx_probe: warning: After the window system\n"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("Could not load"), std::string::npos) << "a shown box also went to the console";
}

// Under a display wx's loop and the message queue are one loop: a window timer ticks and a post from
// another thread arrives while wx's loop or a modal dialog runs, and GetMessageW lets wx's timers run.
TEST(WxBackendTest, TheMessageQueueAndWxRunAsOneLoop) {
  testing_support::VirtualDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "no Xvfb on this machine";
  const testing_support::ProcessResult result = RunProbe(display.name(), "compat_mfc_wx_loop_probe");
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_EQ(result.out,
            "main-loop ticks>=5:yes posted:1 gave-up:no\n"
            "modal ticks>=3:yes posted:1 gave-up:no\n"
            "get-message ticks>=3:yes posted:1 gave-up:no\nquit=5\n")
      << result.err;
}

// A DISPLAY of a server that is gone keeps the boxes on the console, and wxWidgets starts without windows.
TEST(WxBackendTest, ADisplayThatDoesNotAnswerLeavesMessagesOnTheConsole) {
  int number = 400 + getpid() % 100;
  while (testing_support::FileExists("/tmp/.X11-unix/X" + std::to_string(number))) ++number;
  const testing_support::ProcessResult result = RunProbe(":" + std::to_string(number));
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_EQ(result.out,
            "display=no\nbefore=1\nstarted=yes gui=no\nbox1 answer=1 \nbox2 answer=7 \nbox3 answer=1 \n"
            "box4 answer=2 \nbox5 answer=6 \nafter=1\n");
}

}  // namespace
