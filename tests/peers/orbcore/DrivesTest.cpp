// Which recorded drive a task uses: the one with the chosen letter, else the first.
#include "peers/orbcore/Drives.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"

namespace {

using DrivesTest = testing_support::IsolatedTest;

TEST_F(DrivesTest, LetterPicksItsDriveAndNoLetterTheFirst) {
  const std::string key = "SOFTWARE\\korvane\\Test";
  EXPECT_EQ(orbcore::ChosenDrive(key, std::nullopt), std::nullopt);  // nothing recorded
  const std::u16string drives = u"SOFTWARE\\korvane\\Test\\drives\\";
  testing_support::SetRegString(HKEY_CURRENT_USER, drives + u"0", u"Device", u"/dev/sr0");
  testing_support::SetRegString(HKEY_CURRENT_USER, drives + u"0", u"Letter", u"F:");
  testing_support::SetRegString(HKEY_CURRENT_USER, drives + u"1", u"Device", u"/dev/sr1");
  testing_support::SetRegString(HKEY_CURRENT_USER, drives + u"1", u"Letter", u"D:");
  const std::pair<std::optional<std::string>, std::optional<std::string>> rows[] = {
      {std::nullopt, "/dev/sr0"}, {"d:", "/dev/sr1"}, {"F:", "/dev/sr0"}, {"E:", std::nullopt}};
  for (const auto& [letter, device] : rows) EXPECT_EQ(orbcore::ChosenDrive(key, letter), device) << letter.value_or("-");
}

}  // namespace
