// Runs the program under a virtual display: the engine opens its real main
// window, and a screenshot of it is kept in the build folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "tests/support/Json.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::ProgramRun;

// An X server of our own on a display number nobody uses.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    if (!testing_support::FileExists("/usr/bin/Xvfb")) return;
    for (int number = 90 + getpid() % 50; number < 200; ++number) {
      if (testing_support::FileExists("/tmp/.X11-unix/X" + std::to_string(number)) ||
          testing_support::FileExists("/tmp/.X" + std::to_string(number) + "-lock")) {
        continue;
      }
      ProgramRun run;
      run.program = "/usr/bin/Xvfb";
      run.args = {":" + std::to_string(number), "-screen", "0", "1024x768x24", "-nolisten", "tcp"};
      run.timeout = std::chrono::minutes(5);
      server_ = std::make_unique<testing_support::BackgroundProgram>(run);
      if (testing_support::WaitForFile("/tmp/.X11-unix/X" + std::to_string(number),
                                       std::chrono::seconds(10))) {
        name_ = ":" + std::to_string(number);
      }
      return;
    }
  }

  ~VirtualDisplay() {
    if (server_) kill(server_->pid(), SIGTERM);
  }

  const std::string& name() const { return name_; }

 private:
  std::unique_ptr<testing_support::BackgroundProgram> server_;
  std::string name_;
};

TEST(EngineWindow, OpensUnderADisplayAndIsPhotographed) {
  VirtualDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "no Xvfb on this machine";

  testing_support::TempFolder folder;
  const std::string bin = testing_support::BuildBin();
  const std::string dump = folder / "dump.json";
  ProgramRun run;
  run.program = bin + "/orbweave";
  run.args = {"-autoplay", "-selectdrive", "E:", "-copy"};
  run.env = {{"DISPLAY", display.name()},
             {"ORBWEAVE_PREFIX", folder / "registry"},
             {"XDG_RUNTIME_DIR", folder.path()},
             {"LC_ALL", "C.UTF-8"},
             {"ORBCORE_DUMP", dump},
             {"ORBCORE_CLOSE_AFTER", "5000"}};
  run.unsetEnv = {"ORBCORE_SCRIPT", "WAYLAND_DISPLAY"};
  run.timeout = std::chrono::seconds(60);
  testing_support::BackgroundProgram program(run);

  ASSERT_TRUE(testing_support::WaitForFile(dump, std::chrono::seconds(30)));
  // Give the window time to map and paint before the picture is taken.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  const std::string shots = bin + "/../screenshots";
  std::filesystem::create_directories(shots);
  const std::string shot = shots + "/engine-window.png";
  ProgramRun grab;
  grab.program = "/usr/bin/import";
  grab.args = {"-display", display.name(), "-window", "root", shot};
  const auto grabbed = testing_support::Run(grab);
  EXPECT_EQ(grabbed.exitCode, 0) << grabbed.err;

  const auto result = program.Wait();
  EXPECT_EQ(result.exitCode, 0) << result.err;
  const Json received = Json::ParseFile(dump);
  EXPECT_EQ(received["result"].String(), "success");
  EXPECT_EQ(received["record"]["52"].Number(), 3);
  EXPECT_EQ(received["window"].String(), "shown");
  // A real window on a grey root is far from a blank picture.
  EXPECT_GT(std::filesystem::file_size(shot), 8000u);
}

}  // namespace
