// Both editions' managers: the life cycle with its error codes and
// registrations, and the temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "compat/win32/Path.h"
#include "compat/win32/StringConv.h"
#include "settings/lapp/AppmanError.h"
#include "settings/lapp/Folders.h"
#include "settings/lapp/IApplicationManager.h"
#include "settings/lapp/ZipArchive.h"
#include "tests/settings/ErrorCode.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"

namespace {

using compat::win32::WindowsPath;
using settings_tests::ErrorCode;

// The system's temporary folder is the test's own.
class ApplicationManagerTest : public testing_support::IsolatedTest {
 protected:
  void SetUp() override { SetEnv("TMPDIR", folder().path()); }

  lapp::IApplicationManager* Create(bool portable) {
    return lapp::CreateAppManager(program_.c_str(), (program_ + u"datastore\\data.db").c_str(),
                                  (program_ + u"init.zip").c_str(), portable);
  }

  const std::u16string program_ = WindowsPath(folder().path()) + u"\\";
};

TEST_F(ApplicationManagerTest, LifeCycleOfBothEditions) {
  for (const bool portable : {false, true}) {
    SCOPED_TRACE(portable ? "portable" : "installed");
    lapp::IApplicationManager* manager = Create(portable);
    EXPECT_EQ(manager->IsPortable(), portable);
    EXPECT_EQ(ErrorCode([&] { manager->Stop(); }), 10);
    EXPECT_TRUE(manager->AddRegistrySection(u"HKEY_CURRENT_USER", u"Software/korvane", 7));
    EXPECT_TRUE(manager->AddFolder(u"Z:\\opt\\data", 7));
    EXPECT_TRUE(manager->AddFile(u"Z:\\opt\\data\\x.ini", 7));
    if (portable) {
      // The same items spelt otherwise are registered already.
      EXPECT_FALSE(manager->AddRegistrySection(u"HKEY_CURRENT_USER", u"Software\\korvane", 7));
      EXPECT_FALSE(manager->AddFolder(u"Z:/opt/data/", 7));
      EXPECT_FALSE(manager->AddFile(u"Z:/opt/data/x.ini", 7));
      for (const char16_t* root : {u"HKEY_CURRENT_USER\\Software", u"HKEY_CURRENT_USER/Software"})
        EXPECT_EQ(ErrorCode([&] { manager->AddRegistrySection(root, u"x", 7); }), 13);
      // Neither a data store nor an initial archive.
      EXPECT_EQ(ErrorCode([&] { manager->Start(); }), 17);
      lapp::SaveSet(program_ + u"init.zip", "regentry_init", {});
    }
    EXPECT_TRUE(manager->Start());
    const std::function<void()> whileStarted[] = {
        [&] { manager->Start(); }, [&] { manager->AddRegistrySection(u"HKEY_LOCAL_MACHINE", u"Software\\x", 7); },
        [&] { manager->AddFolder(u"Z:\\x", 7); }, [&] { manager->AddFile(u"Z:\\x", 7); }};
    for (const auto& action : whileStarted) EXPECT_EQ(ErrorCode(action), 12);
    EXPECT_EQ(ErrorCode([&] { manager->Destroy(); }), 11);
    EXPECT_TRUE(manager->Stop());
    // Stopped is not started: it may start again, and must stop before it goes.
    EXPECT_TRUE(manager->Start());
    EXPECT_TRUE(manager->Stop());
    EXPECT_EQ(std::filesystem::exists(folder() / "datastore/data.db"), portable);
    EXPECT_EQ(ErrorCode([&] { manager->Destroy(); }), 0);
  }
}

TEST_F(ApplicationManagerTest, TemporaryFolderLivesUntilStopAndMovesToANewParent) {
  lapp::SaveSet(program_ + u"init.zip", "regentry_init", {});
  for (const bool portable : {false, true}) {
    SCOPED_TRACE(portable ? "portable" : "installed");
    lapp::IApplicationManager* manager = Create(portable);
    manager->Start();
    const std::u16string temp = manager->GetTempFolder();
    EXPECT_EQ(manager->GetTempFolder(), temp);
    const std::string name = compat::win32::Utf16ToUtf8(temp.substr(temp.find_last_of(u'\\') + 1));
    EXPECT_TRUE(name.starts_with("app_") && name.ends_with("_temp") && name.size() == 17 &&
                name.find_first_not_of("0123456789ABCDEF", 4) == 12)
        << name;
    EXPECT_EQ(temp.rfind(WindowsPath(folder().path()), 0), 0u);  // in the system's temporary folder
    // Whatever the program left inside goes with the folder.
    testing_support::WriteFile(*compat::win32::PosixPath(temp + u"\\left.txt"), "x");
    manager->Stop();
    EXPECT_FALSE(lapp::FolderExists(temp));
    const std::u16string next = manager->GetTempFolder();
    EXPECT_NE(next, temp);
    const std::u16string parent = WindowsPath(folder() / "deep/er/parent");
    manager->SetTempFolderParent(parent.c_str());
    const std::u16string moved = manager->GetTempFolder();
    EXPECT_EQ(moved.rfind(parent, 0), 0u) << compat::win32::Utf16ToUtf8(moved);
    EXPECT_TRUE(lapp::FolderExists(moved));
    EXPECT_FALSE(lapp::FolderExists(next));
    manager->Destroy();
  }
}

}  // namespace
