// What a task window lists (sizes as this machine counts them, a copy's
// source first) and the places its choices make.
#include "peers/orbcore/TaskWindow.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "compat/win32/Path.h"
#include "compat/win32/StringConv.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"

namespace {

using TaskWindowTest = testing_support::IsolatedTest;

std::string ListPath(const std::string& posix) { return compat::win32::Utf16ToUtf8(compat::win32::WindowsPath(posix)); }

TEST_F(TaskWindowTest, ListShowsWhatIsReadThenTheRowsWithTheirSizes) {
  const std::string tree = folder() / "tree", image = folder() / "disc.iso";
  std::filesystem::create_directories(tree + "/sub");
  testing_support::WriteFile(tree + "/a", std::string(10, 'a'));
  testing_support::WriteFile(tree + "/sub/b", std::string(5, 'b'));
  testing_support::WriteFile(image, std::string(7, 'i'));
  orbcore::EngineView view;
  view.drives = {{"/dev/sr0", "D:", "ACME Writer"}};
  const std::vector<orbcore::InputRow> rows = {{"folder", ListPath(tree) + "\\*.*", "\\"},
                                               {"file", ListPath(tree + "/a"), "\\x"}};

  const auto data = orbcore::ListedItems(view, rows, std::nullopt);
  ASSERT_EQ(data.size(), 2u);
  EXPECT_EQ(data[0].name, tree);
  EXPECT_EQ(data[0].bytes, 15u);
  EXPECT_EQ(data[1].bytes, 10u);
  EXPECT_EQ(data[1].onDisc, "\\x");

  const auto fromImage = orbcore::ListedItems(view, {}, image);
  ASSERT_EQ(fromImage.size(), 1u);
  EXPECT_EQ(fromImage[0].bytes, 7u);
  const auto fromDrive = orbcore::ListedItems(view, {}, "");
  ASSERT_EQ(fromDrive.size(), 1u);
  EXPECT_EQ(fromDrive[0].name, "D: ACME Writer (/dev/sr0)");
  EXPECT_EQ(fromDrive[0].bytes, std::nullopt) << "a disc's size is unknown until it is read";
  view.drives.clear();
  EXPECT_TRUE(orbcore::ListedItems(view, {}, "").empty());
}

TEST_F(TaskWindowTest, ChoicesMakeThePlaces) {
  orbcore::EngineView view;
  view.drives = {{"/dev/sr0", "D:", ""}, {"/dev/sr1", "E:", ""}};
  view.places = {"/env/target.iso", "/env/source.iso", "/dev/sr0", true};
  const struct {
    std::size_t choice;
    std::optional<std::string> source;
    std::optional<bool> newDisc;
    orbcore::TaskPlaces places;
  } rows[] = {
      {1, std::nullopt, std::nullopt, {"", "/env/source.iso", "/dev/sr1", true}},
      {2, "", false, {"/typed.iso", "", "/dev/sr0", false}},
      {0, "/typed-source.iso", true, {"", "/typed-source.iso", "/dev/sr0", true}},
  };
  for (const auto& row : rows) {
    const orbcore::TaskPlaces places = orbcore::ChosenPlaces(view, row.choice, "/typed.iso", row.source, row.newDisc);
    EXPECT_EQ(places.target, row.places.target) << row.choice;
    EXPECT_EQ(places.source, row.places.source) << row.choice;
    EXPECT_EQ(places.drive, row.places.drive) << row.choice;
    EXPECT_EQ(places.newDisc, row.places.newDisc) << row.choice;
  }
}

}  // namespace
