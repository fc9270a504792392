// The portable edition's manager: the first start from the initial archive,
// a full disk and a kill during Stop, and registry keys, folders and files
// carried from one process to the next through Stop and Start.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "compat/win32/Path.h"
#include "settings/lapp/DataStoreHandlers.h"
#include "settings/lapp/IApplicationManager.h"
#include "settings/lapp/ZipArchive.h"
#include "tests/settings/ErrorCode.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using compat::win32::WindowsPath;

using testing_support::ReadFile;

class PortableAppManagerTest : public testing_support::IsolatedTest {
 protected:
  void SetUp() override { SetEnv("TMPDIR", folder().path()); }

  lapp::IApplicationManager* Create() {
    return lapp::CreateAppManager(program_.c_str(), (program_ + u"datastore\\data.db").c_str(),
                                  (program_ + u"init.zip").c_str(), true);
  }

  const std::u16string program_ = WindowsPath(folder().path()) + u"\\";
  const std::string store_ = folder() / "datastore/data.db";
};

TEST_F(PortableAppManagerTest, FirstStartTakesTheInitialArchiveAndAFullDiskKeepsTheDataStore) {
  const std::string file = folder() / "app.ini";
  const std::u16string path = WindowsPath(file);
  std::ofstream(file) << "shipped";
  lapp::HandlerMap shipped;
  shipped.emplace(path, std::make_unique<lapp::CFileHandler>(path, 7));
  lapp::SaveSet(program_ + u"init.zip", "regentry_init", shipped);
  std::ofstream(file) << "left from elsewhere";
  // A registered item that the archive does not hold leaves the machine.
  const std::string stray = folder() / "stray.ini";
  std::ofstream(stray) << "stray";
  lapp::IApplicationManager* manager = Create();
  manager->AddFile(path.c_str(), 7);
  manager->AddFile(WindowsPath(stray).c_str(), 7);
  manager->Start();
  EXPECT_EQ(ReadFile(file), "shipped");
  EXPECT_FALSE(fs::exists(stray));
  std::ofstream(file) << "changed";
  manager->Stop();
  EXPECT_FALSE(fs::exists(file));
  const std::string before = ReadFile(store_);
  manager->Start();  // now from the data store
  EXPECT_EQ(ReadFile(file), "changed");

  std::string bytes(1 << 20, '\0');  // random: does not compress below the limit
  std::uint64_t state = 88172645463325252u;
  for (char& byte : bytes) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    byte = static_cast<char>(state);
  }
  std::ofstream(file, std::ios::binary) << bytes;
  // No file of the process may grow past 256 KiB: writes beyond fail as on a
  // full disk.
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 256 << 10;
  signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  std::string message;
  try {
    manager->Stop();
  } catch (const lapp::CArchiveError& error) {
    message = error.what();
  }
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_NE(message.find("disk full"), std::string::npos) << message;
  EXPECT_NE(message.find("previous data store is kept"), std::string::npos) << message;
  EXPECT_TRUE(ReadFile(store_) == before);
  EXPECT_TRUE(ReadFile(file) == bytes);
  EXPECT_TRUE(manager->Stop());  // with room again
  manager->Destroy();
}

// Whether this is a first run is asked before the items leave the machine:
// a data store that goes with them is missed, not replaced by the shipped
// settings.
TEST_F(PortableAppManagerTest, DataStoreIsLookedForBeforeTheItemsAreRemoved) {
  lapp::SaveSet(program_ + u"init.zip", "regentry_init", {});
  lapp::IApplicationManager* manager = Create();  // makes the data store's folder
  lapp::SaveSet(program_ + u"datastore\\data.db", "regentry_user", {});
  manager->AddFolder((program_ + u"datastore").c_str(), lapp::kRemoveFromMachine);
  EXPECT_EQ(settings_tests::ErrorCode([&] { manager->Start(); }), 17);
  manager->Destroy();
}

TEST_F(PortableAppManagerTest, ItemsTravelThroughStopAndStartInTwoProcesses) {
  lapp::SaveSet(program_ + u"init.zip", "regentry_init", {});
  const std::string items = folder() / "items";
  const std::string probe = testing_support::BuildBin() + "/portable_probe";
  const auto run = [&](const char* mode) { return testing_support::Run({probe, {folder().path(), items, mode}, {}, {}}); };
  const testing_support::ProcessResult used = run("use");
  ASSERT_EQ(used.exitCode, 0) << used.out << used.err;
  EXPECT_FALSE(fs::exists(items + "/settings.ini"));
  EXPECT_FALSE(fs::exists(items + "/tree"));
  EXPECT_FALSE(testing_support::GetRegString(HKEY_CURRENT_USER, u"Software\\korvane\\probe\\sub", u"Colour"));

  const testing_support::ProcessResult started = run("start");
  ASSERT_EQ(started.exitCode, 0) << started.out << started.err;
  EXPECT_EQ(ReadFile(items + "/settings.ini"), "[main]\nx=1\n");
  EXPECT_EQ(ReadFile(items + "/tree/deep/a.txt"), "in the tree");
  EXPECT_EQ(testing_support::GetRegString(HKEY_CURRENT_USER, u"Software\\korvane\\probe\\sub", u"Colour"), u"blue");
}

TEST_F(PortableAppManagerTest, KilledAtAnyPointLeavesAWholeDataStore) {
  lapp::SaveSet(program_ + u"init.zip", "regentry_init", {});
  const testing_support::ProgramRun use{
      testing_support::BuildBin() + "/portable_probe", {folder().path(), folder() / "items", "use"}, {}, {}};
  ASSERT_EQ(testing_support::Run(use).exitCode, 0);
  const std::u16string scratch = program_ + u"entry";
  for (int delay = 0; delay < 600; delay += 30) {
    testing_support::BackgroundProgram probe(use);
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    kill(probe.pid(), SIGKILL);
    probe.Wait();
    // The old or the new data store, read to the end of every entry.
    lapp::CZipLoadManager reader(WindowsPath(store_));
    EXPECT_TRUE(reader.HasReadableDescription()) << delay;
    for (const lapp::CZipLoadManager::EntryInfo& entry : reader.Entries())
      EXPECT_NO_THROW(reader.ExtractEntry(entry.name, scratch)) << delay << " " << entry.name;
  }
}

}  // namespace
