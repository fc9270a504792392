// Which drive a task uses: the one with the chosen letter, else the first, from the drives the drive library
// scans (here in a fake sysfs tree) when the engine first asks for them.
#include "peers/orbcore/Drives.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

class DrivesTest : public testing_support::IsolatedTest {
 protected:
  void SetUp() override { SetEnv("KVN_SPTI_SYSFS", folder() / "sys"); }

  void AddDrive(const std::string& name) {
    const std::string device = folder() / ("sys/block/" + name + "/device");
    std::filesystem::create_directories(device);
    testing_support::WriteFile(device + "/type", "5\n");
  }
};

TEST_F(DrivesTest, LetterPicksItsDriveAndNoLetterTheFirst) {
  EXPECT_EQ(orbcore::ChosenDrive("SOFTWARE\\korvane\\Empty", std::nullopt), std::nullopt);  // no drive
  const std::string key = "SOFTWARE\\korvane\\Test";
  AddDrive("sr1");
  AddDrive("sr0");
  testing_support::SetRegString(HKEY_CURRENT_USER, u"SOFTWARE\\korvane\\Test\\drives\\Letters", u"F:", u"/dev/sr0");
  const std::pair<std::optional<std::string>, std::optional<std::string>> rows[] = {
      {std::nullopt, "/dev/sr0"}, {"d:", "/dev/sr1"}, {"F:", "/dev/sr0"}, {"E:", std::nullopt}};
  for (const auto& [letter, device] : rows) EXPECT_EQ(orbcore::ChosenDrive(key, letter), device) << letter.value_or("-");
  // Scanned once: a drive that comes later is not seen by this run.
  AddDrive("sr2");
  EXPECT_EQ(orbcore::RecordedDrives(key).size(), 2u);
}

}  // namespace
