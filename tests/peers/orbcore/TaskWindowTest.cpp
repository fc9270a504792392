// What a task window lists (sizes as this machine counts them, a copy's
// source first) and the places its choices make.
#include "peers/orbcore/TaskWindow.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

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

  using Item = std::tuple<std::string, std::optional<std::uint64_t>, std::string>;
  const auto items = [&](const std::vector<orbcore::InputRow>& list, const std::optional<std::string>& source) {
    std::vector<Item> out;
    for (const auto& item : orbcore::ListedItems(view, list, source)) out.emplace_back(item.name, item.bytes, item.onDisc);
    return out;
  };
  EXPECT_EQ(items(rows, std::nullopt), (std::vector<Item>{{tree, 15, "\\"}, {tree + "/a", 10, "\\x"}}));
  EXPECT_EQ(items({}, image), (std::vector<Item>{{image, 7, ""}}));
  // A disc's size is unknown until it is read.
  EXPECT_EQ(items({}, ""), (std::vector<Item>{{"D: ACME Writer (/dev/sr0)", std::nullopt, ""}}));
  view.drives.clear();
  EXPECT_TRUE(orbcore::ListedItems(view, {}, "").empty());
}

TEST_F(TaskWindowTest, ChoicesMakeThePlaces) {
  orbcore::EngineView view;
  view.drives = {{"/dev/sr0", "D:", ""}, {"/dev/sr1", "E:", ""}};
  view.places = {"/env/target.iso", "/env/source.iso", "/dev/sr0", true};
  using Places = std::tuple<std::string, std::string, std::string, bool>;
  const std::tuple<std::size_t, std::optional<std::string>, std::optional<bool>, Places> rows[] = {
      {1, std::nullopt, std::nullopt, {"", "/env/source.iso", "/dev/sr1", true}},
      {2, "", false, {"/typed.iso", "", "/dev/sr0", false}},
      {0, "/typed-source.iso", true, {"", "/typed-source.iso", "/dev/sr0", true}},
  };
  for (const auto& [choice, source, newDisc, expected] : rows) {
    const orbcore::TaskPlaces places = orbcore::ChosenPlaces(view, choice, "/typed.iso", source, newDisc);
    EXPECT_EQ(Places(places.target, places.source, places.drive, places.newDisc), expected) << choice;
  }
}

}  // namespace
