// The engine's main window under a virtual display: it opens with the shell's
// menus, calls the idle callback, closes on ORBCORE_CLOSE_AFTER, and leaves a
// screenshot in the build folder.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/toplevel.h>

#include "compat/win32/Menu.h"
#include "compat/win32/Module.h"
#include "compat/win32/Resource.h"
#include "peers/orbcore/IgnisLaunch.h"
#include "tests/support/Json.h"
#include "tests/support/TestSupport.h"
#include "tests/support/VirtualDisplay.h"

namespace {

struct WindowRun {
  std::atomic<int> builds{0};
  std::atomic<int> idles{0};
};

WindowRun& Calls() {
  static WindowRun run;
  return run;
}

void WINAPI BuildMenu(HMENU bar) {
  ++Calls().builds;
  AppendMenuW(GetSubMenu(bar, 1), MF_STRING, 2000, u"Languages...");
  HMENU internet = CreatePopupMenu();
  AppendMenuW(internet, MF_STRING, 2002, u"Recommend Program to a Friend");
  AppendMenuW(internet, MF_STRING, 2015, u"My Korvane");
  InsertMenuW(bar, 2, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(internet), u"Internet");
}

std::uint32_t WINAPI MenuCommand(std::uint32_t, std::uint32_t) { return 0; }

void WINAPI Idle(std::uint32_t) { ++Calls().idles; }

bool Succeeds(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// A record as the shell hands it over, with a data disc list as input.
struct WindowRecord {
  std::u16string folderItem = u"Z:\\home\\ann\\photos\\*.*";
  std::u16string fileItem = u"Z:\\home\\ann\\Tr\u00e4ume.mp3";
  DataDiscItem items[2] = {{kDataItemFolder, folderItem.c_str(), u"\\"}, {kDataItemFile, fileItem.c_str(), u"\\"}};
  DataDiscListInput input{0, 0, 2, items};
  LaunchRecord record{};

  WindowRecord() {
    record.layoutTag = kLaunchRecordTag;
    record.displayName = u"Korvane Orbweave 9";
    record.version = u"9.12";
    record.fullVersion = u"9.12.0.194 (2210)";
    record.languageName = u"English";
    record.aboutMarkup = u"<about><p><b>%APPNAME%,version %APPVER%</b></p></about>";
    record.taskCode = kTaskDataDisc;
    record.startMode = kStartDataDiscList;
    record.taskInput = &input;
    record.menuBuild = BuildMenu;
    record.menuCommand = MenuCommand;
    record.idle = Idle;
    record.color180 = 0xFFFFFF;
    record.color184 = 0x513E2D;
    // The program's icon, built into this test as into the program.
    const HINSTANCE self = GetModuleHandleW(nullptr);
    record.largeIcon = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(128), IMAGE_ICON, 32, 32, LR_SHARED));
    record.smallIcon = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(128), IMAGE_ICON, 16, 16, LR_SHARED));
  }
  WindowRecord(const WindowRecord&) = delete;
  WindowRecord& operator=(const WindowRecord&) = delete;
};

class EngineWindowTest : public ::testing::Test {
 protected:
  // One X server for all the cases.
  static void SetUpTestSuite() { display_ = new testing_support::VirtualDisplay; }
  static void TearDownTestSuite() {
    delete display_;
    display_ = nullptr;
  }

  void SetUp() override {
    if (display_->name().empty()) GTEST_SKIP() << "no Xvfb on this machine";
    // wx cannot start again once it has been cleaned up in a process, so
    // each case needs a process of its own (ctest runs them so).
    if (wxStarted_) GTEST_SKIP() << "wx ran in this process already; run this case on its own";
    wxStarted_ = true;
    setenv("DISPLAY", display_->name().c_str(), 1);
    setenv("ORBWEAVE_PREFIX", (folder_ / "registry").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", folder_.path().c_str(), 1);
    setenv("ORBCORE_DUMP", dump_.c_str(), 1);
    unsetenv("ORBCORE_SCRIPT");
    unsetenv("WAYLAND_DISPLAY");
    engine_ = dlopen((testing_support::BuildBin() + "/liborbcore.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(engine_, nullptr) << dlerror();
    start_ = reinterpret_cast<StartIgnisProc>(dlsym(engine_, "StartIgnis"));
    free_ = reinterpret_cast<FreeIgnisResultsProc>(dlsym(engine_, "FreeIgnisResults"));
    ASSERT_TRUE(start_ && free_);
    Calls().builds = 0;
    Calls().idles = 0;
  }

  void TearDown() override {
    for (const char* name : {"DISPLAY", "ORBCORE_DUMP", "ORBCORE_CLOSE_AFTER", "ORBWEAVE_PREFIX", "XDG_RUNTIME_DIR"}) {
      unsetenv(name);
    }
    if (engine_ != nullptr) dlclose(engine_);
  }

  // Runs the engine; true when it handed back success.
  bool Start(LaunchRecord& record) {
    void* results = nullptr;
    start_(&record, &results);
    const bool succeeded = results != nullptr && *static_cast<std::uint32_t*>(results) == 1;
    free_(results);
    return succeeded;
  }

  static testing_support::VirtualDisplay* display_;
  static bool wxStarted_;
  testing_support::TempFolder folder_;
  std::string dump_ = folder_ / "dump.json";
  void* engine_ = nullptr;
  StartIgnisProc start_ = nullptr;
  FreeIgnisResultsProc free_ = nullptr;
};

testing_support::VirtualDisplay* EngineWindowTest::display_ = nullptr;
bool EngineWindowTest::wxStarted_ = false;

// Nobody started wx: the engine makes its own application for the window.
TEST_F(EngineWindowTest, WithoutApplicationTheWindowBringsItsOwn) {
  const std::filesystem::path shots = std::filesystem::path(testing_support::BuildBin()).parent_path() / "screenshots";
  std::filesystem::create_directories(shots);
  const std::string shot = (shots / "orbcore-window.png").string();
  std::filesystem::remove(shot);
  setenv("ORBCORE_CLOSE_AFTER", "6000", 1);
  WindowRecord shell;

  // While the engine runs its loop on this thread, another one looks for the
  // window by its title and photographs the screen once the loop is idle.
  std::atomic<bool> windowFound{false};
  std::atomic<bool> photographed{false};
  std::thread observer([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Calls().idles == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    windowFound = Succeeds("xwininfo -name 'Korvane Orbweave 9 9.12'");
    photographed = Succeeds("import -window root '" + shot + "'");
  });
  const auto began = std::chrono::steady_clock::now();
  const bool succeeded = Start(shell.record);
  const auto ran = std::chrono::steady_clock::now() - began;
  observer.join();

  EXPECT_TRUE(succeeded);
  EXPECT_TRUE(windowFound) << "no window titled with the product name and version";
  EXPECT_TRUE(photographed);
  EXPECT_GT(std::filesystem::exists(shot) ? std::filesystem::file_size(shot) : 0u, 10000u);
  EXPECT_EQ(Calls().builds, 1);
  // Idle calls came, but throttled: six seconds give at most about 24.
  EXPECT_GT(Calls().idles, 0);
  EXPECT_LE(Calls().idles, 30);
  // The request to close ended the run, not the test's patience.
  EXPECT_GE(ran, std::chrono::milliseconds(5500));
  EXPECT_LT(ran, std::chrono::seconds(20));
  EXPECT_EQ(wxTheApp, nullptr) << "the engine's own application outlived its window";

  const Json received = Json::ParseFile(dump_);
  EXPECT_EQ(received["result"].String(), "success");
  EXPECT_EQ(received["window"].String(), "shown");
  EXPECT_EQ(received["menuBar"].Size(), 4u);
  EXPECT_EQ(received["menuBar"][2]["text"].String(), "Internet");
  EXPECT_EQ(received["steps"][0]["name"].String(), "build");
}

// The program started a GUI application: the window uses it and leaves it.
TEST_F(EngineWindowTest, WithProgramsGuiApplicationTheWindowSharesIt) {
  auto* app = new wxApp;
  wxApp::SetInstance(app);
  int argc = 0;
  ASSERT_TRUE(wxEntryStart(argc, static_cast<wxChar**>(nullptr)));
  setenv("ORBCORE_CLOSE_AFTER", "1500", 1);
  WindowRecord shell;
  EXPECT_TRUE(Start(shell.record));
  EXPECT_EQ(wxTheApp, app);
  EXPECT_TRUE(wxTopLevelWindows.empty()) << "the main window was not destroyed";
  EXPECT_EQ(Calls().builds, 1);
  wxEntryCleanup();
}

// A console application cannot show windows: the engine prints its summary.
TEST_F(EngineWindowTest, WithConsoleApplicationTheSummaryIsPrinted) {
  wxAppConsole::SetInstance(new wxAppConsole);
  int argc = 0;
  ASSERT_TRUE(wxEntryStart(argc, static_cast<wxChar**>(nullptr)));
  WindowRecord shell;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_TRUE(Start(shell.record));
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  wxEntryCleanup();
  EXPECT_NE(out.find("data disc"), std::string::npos) << out;
  EXPECT_NE(out.find("Languages..."), std::string::npos) << out;
  EXPECT_NE(err.find("cannot show windows"), std::string::npos) << err;
}

}  // namespace
