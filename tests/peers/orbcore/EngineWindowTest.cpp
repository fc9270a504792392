// The engine's main window under a virtual display: it opens with the shell's
// menus, calls the idle callback and closes on ORBCORE_CLOSE_AFTER.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <unistd.h>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/toplevel.h>

#include "EngineTestSupport.h"
#include "compat/win32/Module.h"
#include "compat/win32/Path.h"
#include "compat/win32/Resource.h"
#include "tests/support/Registry.h"
#include "tests/support/VirtualDisplay.h"

namespace {

// The shell's record with a data disc list as input and the program's icon,
// built into this test as into the program.
struct WindowRecord : engine_test::ShellRecord {
  std::u16string folderItem = u"Z:\\home\\ann\\photos\\*.*";
  std::u16string fileItem = u"Z:\\home\\ann\\Tr\u00e4ume.mp3";
  DataDiscItem items[2] = {{kDataItemFolder, folderItem.c_str(), u"\\"}, {kDataItemFile, fileItem.c_str(), u"\\"}};
  DataDiscListInput input{0, 0, 2, items};

  WindowRecord() {
    record.displayName = u"Korvane Orbweave 9";
    record.startMode = kStartDataDiscList;
    record.taskInput = &input;
    record.color180 = 0xFFFFFF;
    const HINSTANCE self = GetModuleHandleW(nullptr);
    record.instance = self;
    record.largeIcon = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(128), IMAGE_ICON, 32, 32, LR_SHARED));
    record.smallIcon = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(128), IMAGE_ICON, 16, 16, LR_SHARED));
  }
};

class EngineWindowTest : public engine_test::EngineTest {
 protected:
  void SetUp() override {
    if (display_.name().empty()) GTEST_SKIP() << "no Xvfb on this machine";
    // wx cannot start again once it has been cleaned up in a process, so
    // each case needs a process of its own (ctest runs them so).
    if (wxStarted_) GTEST_SKIP() << "wx ran in this process already; run this case on its own";
    wxStarted_ = true;
    EngineTest::SetUp();
    SetEnv("DISPLAY", display_.name());
  }

  // Runs the engine; true when it handed back success.
  bool Run(LaunchRecord& record) {
    void* results = Start(record);
    const bool succeeded = results != nullptr && *static_cast<std::uint32_t*>(results) == 1;
    free_(results);
    return succeeded;
  }

  static std::size_t Builds() { return std::ranges::count(engine_test::g_log.calls, "build"); }

  testing_support::VirtualDisplay display_;
  static inline bool wxStarted_ = false;
};

// Nobody started wx: the engine makes its own application for the window.
TEST_F(EngineWindowTest, WithoutApplicationTheWindowBringsItsOwn) {
  SetEnv("ORBCORE_CLOSE_AFTER", "6000");
  WindowRecord shell;

  // While the engine runs its loop here, a thread looks for the window by its title once the loop idles.
  std::atomic<bool> windowFound{false};
  std::thread observer([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (engine_test::g_idleCalls == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    windowFound = std::system("xwininfo -name 'Korvane Orbweave 9 9.12' >/dev/null 2>&1") == 0;
  });
  const auto began = std::chrono::steady_clock::now();
  const bool succeeded = Run(shell.record);
  const auto ran = std::chrono::steady_clock::now() - began;
  observer.join();

  EXPECT_TRUE(succeeded);
  EXPECT_TRUE(windowFound) << "no window titled with the product name and version";
  EXPECT_EQ(Builds(), 1u);
  // Idle calls kept coming while nothing happened, but throttled: six seconds give at most about 24.
  EXPECT_GE(engine_test::g_idleCalls, 8);
  EXPECT_LE(engine_test::g_idleCalls, 30);
  // The request to close ended the run, not the test's patience.
  EXPECT_GE(ran, std::chrono::milliseconds(5500));
  EXPECT_EQ(wxTheApp, nullptr) << "the engine's own application outlived its window";
  EXPECT_EQ(ReadDump()["window"], "shown");
}

// The program started a GUI application: the window uses it and leaves it.
TEST_F(EngineWindowTest, WithProgramsGuiApplicationTheWindowSharesIt) {
  auto* app = new wxApp;
  wxApp::SetInstance(app);
  int argc = 0;
  ASSERT_TRUE(wxEntryStart(argc, static_cast<wxChar**>(nullptr)));
  SetEnv("ORBCORE_CLOSE_AFTER", "1500");
  WindowRecord shell;
  EXPECT_TRUE(Run(shell.record));
  EXPECT_EQ(wxTheApp, app);
  EXPECT_TRUE(wxTopLevelWindows.empty()) << "the main window was not destroyed";
  EXPECT_EQ(Builds(), 1u);
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
  EXPECT_TRUE(Run(shell.record));
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  wxEntryCleanup();
  EXPECT_NE(out.find("Languages..."), std::string::npos) << out;
  EXPECT_NE(err.find("cannot show windows"), std::string::npos) << err;
}

// A burn under a German pack, started at once: the window shows it under way
// (the screenshot is left at ORBCORE_TEST_SCREENSHOT when that is set, to look
// at), and closing the window mid-burn cancels it, leaving no image behind.
TEST_F(EngineWindowTest, GermanBurnWindowRunsAndClosingCancels) {
  namespace fs = std::filesystem;
  const std::string big = folder() / "gro\u00df.bin", out = folder() / "out";
  fs::create_directories(out);
  // The engine refuses a target without room for the whole image, as it must.
  if (fs::space(out).available < (std::uintmax_t{9} << 30)) GTEST_SKIP() << "less than 9 GiB free for the image";
  {
    std::ofstream file(big, std::ios::binary);
    // 8 GiB of holes: read fast, and more than an idle machine writes
    // before the window closes, so the close always finds the burn running.
    file.seekp((std::streamoff{1} << 33) - 1);
    file.put('\0');
  }
  SetEnv("ORBCORE_TARGET", out + "/disc.iso");
  SetEnv("ORBCORE_AUTOSTART", "1");
  // Long enough for a busy machine (the suite runs two tests at a time) to
  // start writing before the picture; short of writing all 8 GiB.
  SetEnv("ORBCORE_CLOSE_AFTER", "12000");
  WindowRecord shell;
  const std::u16string item = compat::win32::WindowsPath(big);
  const std::u16string pack = compat::win32::WindowsPath(testing_support::BuildBin() + "/lang/Orbweave_de.kvnLang");
  shell.items[0] = {kDataItemFile, item.c_str(), u"\\"};
  shell.input.count = 1;
  shell.record.languagePackPath = pack.c_str();

  const std::string shot = folder() / "burning.png";
  std::atomic<bool> shotTaken{false};
  std::thread observer([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(11);
    bool writing = false;
    while (!writing && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      std::error_code error;
      for (const auto& entry : fs::directory_iterator(out, error)) writing = writing || entry.file_size(error) > (32 << 20);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    shotTaken = writing && display_.Screenshot(shot);
  });
  const bool succeeded = Run(shell.record);
  observer.join();

  EXPECT_FALSE(succeeded) << "closed mid-burn, the task was cancelled";
  EXPECT_TRUE(shotTaken);
  EXPECT_GT(fs::exists(shot) ? fs::file_size(shot) : 0, 10000u);
  if (const char* keep = std::getenv("ORBCORE_TEST_SCREENSHOT"); keep != nullptr && shotTaken) {
    fs::copy_file(shot, keep, fs::copy_options::overwrite_existing);
  }
  EXPECT_TRUE(fs::is_empty(out)) << "an image or its temporary was left";
}

// Started without a task, under a German pack: a start page offers the
// tasks, and choosing "Copy a disc" (the third, by keys) leads into its task
// window, which is when the drives are scanned (one drive, in a fake sysfs
// tree). Both pictures are kept in the build's screenshots folder to look at.
TEST_F(EngineWindowTest, GermanStartPageLeadsIntoATaskWindow) {
  if (access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "no xdotool on this machine";
  SetEnv("ORBCORE_CLOSE_AFTER", "15000");
  SetEnv("KVN_SPTI_SYSFS", folder() / "sys");
  std::filesystem::create_directories(folder() / "sys/block/sr0/device");
  testing_support::WriteFile(folder() / "sys/block/sr0/device/type", "5\n");
  const auto drivesCounted = [] {
    return testing_support::GetRegDword(HKEY_CURRENT_USER, u"SOFTWARE\\korvane\\Korvane Orbweave 9\\drives", u"Count");
  };
  WindowRecord shell;
  shell.record.startMode = kStartNormal;
  shell.record.taskInput = nullptr;
  const std::u16string pack = compat::win32::WindowsPath(testing_support::BuildBin() + "/lang/Orbweave_de.kvnLang");
  shell.record.languagePackPath = pack.c_str();
  const std::string shots = testing_support::BuildBin() + "/../screenshots";
  std::filesystem::create_directories(shots);

  std::atomic<int> pictures{0};
  std::atomic<bool> scannedOnStartPage{true};
  std::thread user([&] {
    const auto xdotool = [&](const std::string& args) {
      return std::system(("DISPLAY=" + display_.name() + " /usr/bin/xdotool " + args + " >/dev/null 2>&1").c_str());
    };
    if (xdotool("search --sync --onlyvisible --name 'Orbweave 9 9.12'") != 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    pictures += display_.Screenshot(shots + "/engine-start-de.png");
    scannedOnStartPage = drivesCounted().has_value();
    xdotool("key --delay 300 Tab Tab space");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    pictures += display_.Screenshot(shots + "/engine-copy-de.png");
  });
  EXPECT_TRUE(Run(shell.record)) << "no task ran, so closing is no failure";
  user.join();
  EXPECT_EQ(pictures, 2);
  EXPECT_FALSE(scannedOnStartPage) << "the start page alone scanned the drives";
  EXPECT_EQ(drivesCounted(), 1u) << "the copy's task window did not open";
}

}  // namespace
