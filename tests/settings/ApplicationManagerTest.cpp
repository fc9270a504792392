// The installed edition's application manager: its life cycle and its temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "compat/win32/File.h"
#include "compat/win32/StringConv.h"
#include "settings/lapp/AppmanError.h"
#include "settings/lapp/IApplicationManager.h"
#include "tests/settings/ErrorCode.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"

namespace {

using settings_tests::ErrorCode;

bool FolderExists(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The system's temporary folder is the test's own.
class ApplicationManagerTest : public testing_support::IsolatedTest {
 protected:
  void SetUp() override { SetEnv("TMPDIR", folder_.path()); }
  const testing_support::TempFolder& folder_ = folder();
};

TEST_F(ApplicationManagerTest, LifeCycleIsEnforced) {
  lapp::IApplicationManager* manager =
      lapp::CreateAppManager(u"Z:\\opt\\app\\", u"Z:\\opt\\app\\datastore\\data.db", u"Z:\\opt\\app\\init.zip", false);
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(ErrorCode([&] { manager->Stop(); }), lapp::CAppmanError::kNotStarted);
  EXPECT_TRUE(manager->AddRegistrySection(u"HKEY_CURRENT_USER", u"Software\\korvane", 7));
  EXPECT_TRUE(manager->AddFolder(u"Z:\\opt\\app\\data", 7));
  EXPECT_TRUE(manager->AddFile(u"Z:\\opt\\app\\data\\x.ini", 7));
  EXPECT_TRUE(manager->Start());
  EXPECT_EQ(ErrorCode([&] { manager->Start(); }), lapp::CAppmanError::kAlreadyStarted);
  EXPECT_EQ(ErrorCode([&] { manager->AddRegistrySection(u"HKEY_LOCAL_MACHINE", u"Software\\x", 7); }),
            lapp::CAppmanError::kAlreadyStarted);
  EXPECT_EQ(ErrorCode([&] { manager->AddFolder(u"Z:\\x", 7); }), lapp::CAppmanError::kAlreadyStarted);
  EXPECT_EQ(ErrorCode([&] { manager->AddFile(u"Z:\\x", 7); }), lapp::CAppmanError::kAlreadyStarted);
  EXPECT_EQ(ErrorCode([&] { manager->Destroy(); }), lapp::CAppmanError::kStillStarted);
  EXPECT_TRUE(manager->Stop());
  // Stopped is not started: it may start again, and must stop before it goes.
  EXPECT_TRUE(manager->Start());
  EXPECT_TRUE(manager->Stop());
  EXPECT_EQ(ErrorCode([&] { manager->Destroy(); }), 0);
}

TEST_F(ApplicationManagerTest, TemporaryFolderLivesUntilStop) {
  lapp::IApplicationManager* manager = lapp::CreateAppManager(nullptr, nullptr, nullptr, false);
  manager->Start();
  const std::u16string temp = manager->GetTempFolder();
  EXPECT_TRUE(FolderExists(temp));
  EXPECT_EQ(manager->GetTempFolder(), temp);
  const std::string name = compat::win32::Utf16ToUtf8(temp.substr(temp.find_last_of(u'\\') + 1));
  EXPECT_TRUE(name.starts_with("app_") && name.ends_with("_temp")) << name;
  EXPECT_EQ(temp.rfind(compat::win32::WindowsPath(folder_.path()), 0), 0u);  // in the system's temporary folder
  // Whatever the program left inside goes with the folder.
  testing_support::WriteFile(*compat::win32::PosixPath(temp + u"\\left.txt"), "x");
  manager->Stop();
  EXPECT_FALSE(FolderExists(temp));
  manager->Start();
  EXPECT_NE(manager->GetTempFolder(), temp);
  manager->Stop();
  manager->Destroy();
}

TEST_F(ApplicationManagerTest, NewParentMovesTheTemporaryFolder) {
  lapp::IApplicationManager* manager = lapp::CreateAppManager(nullptr, nullptr, nullptr, false);
  const std::u16string first = manager->GetTempFolder();
  const std::u16string parent = compat::win32::WindowsPath(folder_ / "deep/er/parent");
  manager->SetTempFolderParent(parent.c_str());
  const std::u16string moved = manager->GetTempFolder();
  EXPECT_EQ(moved.rfind(parent, 0), 0u) << compat::win32::Utf16ToUtf8(moved);
  EXPECT_TRUE(FolderExists(moved));
  EXPECT_FALSE(FolderExists(first));
  manager->Destroy();
}

}  // namespace
