// The wxWidgets backend on a virtual display: a framework program starts
// wxWidgets as the shell does and shows real message boxes, which it answers
// itself once they are on screen.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/TestSupport.h"
#include "tests/support/VirtualDisplay.h"

namespace {

// The first line of `text` that begins with `start`, or "".
std::string LineStartingWith(const std::string& text, const std::string& start) {
  for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
    if (text.compare(at, start.size(), start) == 0) return text.substr(at, text.find('\n', at) - at);
    if (text.find('\n', at) == std::string::npos) break;
  }
  return "";
}

TEST(WxBackendTest, MessageBoxesAppearOnTheDisplayAndAnswerAsTheFrameworkDoes) {
  testing_support::VirtualDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "no Xvfb on this machine";
  const std::string bin = testing_support::BuildBin();
  const std::string shots = bin + "/../screenshots";
  std::filesystem::create_directories(shots);
  testing_support::ProgramRun run;
  run.program = bin + "/compat_mfc_wx_probe";
  run.env = {{"DISPLAY", display.name()},
             {"LC_ALL", "C.UTF-8"},
             {"PROBE_SCREENSHOT", shots + "/message-box.png"}};
  run.unsetEnv = {"WAYLAND_DISPLAY"};
  run.timeout = std::chrono::seconds(90);
  const testing_support::ProcessResult result = testing_support::Run(run);
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  const std::string& out = result.out;

  EXPECT_EQ(LineStartingWith(out, "display="), "display=yes") << out;
  EXPECT_EQ(LineStartingWith(out, "started="), "started=yes gui=yes") << out;

  // Boxes asked for before wxWidgets starts and after it ends go to the console.
  EXPECT_EQ(LineStartingWith(out, "before="), "before=1");
  EXPECT_EQ(LineStartingWith(out, "after="), "after=1");
  EXPECT_NE(result.err.find("wx_probe: information: Before the window system\n"), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("wx_probe: warning: After the window system\n"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("Could not load"), std::string::npos) << "a shown box also went to the console";

  const char* const expected[] = {
      "box1 answer=1 style=[ok icon-error] mapped=1 title=[Korvane Orbweave 9] "
      "text=[Could not load orbcore.dll] kind=error screenshot",
      "box2 answer=6 style=[yes+no no-default icon-question] mapped=1 title=[Korvane Orbweave 9] "
      "text=[Replace the disc?] kind=question",
      "box3 answer=2 style=[ok+cancel icon-warning] mapped=1 title=[Korvane Orbweave 9] "
      "text=[Low on space] kind=warning",
      "box4 answer=2 style=[yes+no+cancel cancel-default icon-none] mapped=1 title=[Korvane Orbweave 9] "
      "text=[Keep the files?] kind=other",
      // Closed without a button, a box without Cancel answers its last button.
      "box5 answer=7 style=[yes+no icon-none] mapped=1 title=[Korvane Orbweave 9] "
      "text=[Keep?] kind=other",
      "box6 answer=1 style=[ok icon-none] mapped=1 title=[Korvane Orbweave 9] "
      "text=[Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC] kind=other",
  };
  for (const char* line : expected) {
    const std::string start = std::string(line).substr(0, 5);
    EXPECT_EQ(LineStartingWith(out, start), line);
  }
}

// A DISPLAY left over from a closed session names a server that is gone:
// the framework stays on the console and wxWidgets starts without windows.
TEST(WxBackendTest, ADisplayThatDoesNotAnswerLeavesMessagesOnTheConsole) {
  int number = 400 + getpid() % 100;
  while (testing_support::FileExists("/tmp/.X11-unix/X" + std::to_string(number))) ++number;
  testing_support::ProgramRun run;
  run.program = testing_support::BuildBin() + "/compat_mfc_wx_probe";
  run.env = {{"DISPLAY", ":" + std::to_string(number)}, {"LC_ALL", "C.UTF-8"}};
  run.unsetEnv = {"WAYLAND_DISPLAY"};
  const testing_support::ProcessResult result = testing_support::Run(run);
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_EQ(LineStartingWith(result.out, "display="), "display=no");
  EXPECT_EQ(LineStartingWith(result.out, "started="), "started=yes gui=no");
  EXPECT_EQ(LineStartingWith(result.out, "box2 "), "box2 answer=7 ");  // the default button, No
  EXPECT_NE(result.err.find("compat_mfc_wx_probe: question: Replace the disc?\n"), std::string::npos)
      << result.err;
}

}  // namespace
