// Copies that read a disc, with a file standing in for the drive (libburn's
// "stdio:" drive reads and writes it as a disc): a data disc read into an
// image file, and a disc copied to a blank disc in the same drive.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "peers/orbcore/DataDisc.h"
#include "peers/orbcore/EngineView.h"
#include "peers/orbcore/Tasks.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using orbcore::Failure;

// Answers the question for a blank disc: "swapping" the disc empties the
// file, which libburn then takes for a blank medium; else no.
struct SwappingObserver : orbcore::TaskObserver {
  SwappingObserver(std::string disc, bool swap) : disc(std::move(disc)), swap(swap) {}
  void Progress(const orbcore::TaskProgress&) override {}
  bool CancelRequested() override { return false; }
  bool AskForBlankDisc(const std::string& drive) override {
    askedFor = drive;
    if (swap) fs::resize_file(disc, 0);
    return swap;
  }
  std::string disc, askedFor;
  bool swap;
};

class DiscCopyTest : public testing_support::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    scratch_ = folder() / "scratch";
    fs::create_directories(scratch_);
    SetEnv("TMPDIR", scratch_);
    testing_support::WriteFile(folder() / "a.bin", std::string(300000, 'a'));
    SwappingObserver quiet("", false);
    ASSERT_TRUE(orbcore::WriteDataDisc({{folder() / "a.bin", "/"}}, "stdio:" + original_, quiet).Succeeded());
  }

  // A copy from the drive `drive` (no drive: "") to the image `target` (a disc: "").
  static orbcore::TaskOutcome Copy(const std::string& target, const std::string& drive, orbcore::TaskObserver& observer) {
    orbcore::EngineView view;
    view.taskCode = kTaskCopyDisc;
    return orbcore::RunTask(view, {target, "", drive, false}, observer);
  }

  std::string original_ = folder() / "original.iso";
  std::string scratch_;
};

// A disc of one session, and one with a second session added (on rewritable
// media, as on a file, the start then points at the newest tree).
TEST_F(DiscCopyTest, DataDiscReadIntoAnImageIsByteIdentical) {
  const std::string disc = folder() / "drive", copy = folder() / "copy.iso", more = folder() / "more.txt";
  fs::copy_file(original_, disc);
  testing_support::WriteFile(more, "second session");
  for (int sessions = 1; sessions <= 2; ++sessions) {
    SwappingObserver observer(disc, false);
    if (sessions == 2) {
      ASSERT_TRUE(orbcore::AppendDataSession({{more, "/"}}, "stdio:" + disc, observer).Succeeded());
    }
    const orbcore::TaskOutcome outcome = Copy(copy, "stdio:" + disc, observer);
    ASSERT_TRUE(outcome.Succeeded()) << outcome.detail;
    EXPECT_EQ(testing_support::ReadFile(copy), testing_support::ReadFile(disc)) << sessions;
    EXPECT_TRUE(observer.askedFor.empty()) << "an image target needs no second disc";
  }
}

// One drive: the disc is read, the user is asked for a blank disc, the copy
// is written to it; the scratch image goes either way, and without a blank
// disc the disc in the drive is left as it was.
TEST_F(DiscCopyTest, OneDriveAsksForABlankDiscAndWritesTheCopy) {
  for (const bool swap : {true, false}) {
    const std::string disc = folder() / "drive";
    fs::copy_file(original_, disc, fs::copy_options::overwrite_existing);
    SwappingObserver observer(disc, swap);
    const orbcore::TaskOutcome outcome = Copy("", "stdio:" + disc, observer);
    EXPECT_EQ(observer.askedFor, "stdio:" + disc);
    EXPECT_EQ(outcome.failure, swap ? Failure::None : Failure::Cancelled) << outcome.detail;
    const std::string written = testing_support::ReadFile(disc);
    // A written track is padded; the image is its start.
    EXPECT_EQ(written.substr(0, fs::file_size(original_)), testing_support::ReadFile(original_)) << swap;
    EXPECT_TRUE(fs::is_empty(scratch_)) << "the scratch image was left behind";
  }
}

// What cannot be read fails with what it is, and leaves the target as it was.
TEST_F(DiscCopyTest, UnreadableDiscsAndTargetsFailWithoutTouchingTheTarget) {
  const std::string blank = folder() / "blank", noData = folder() / "zeros", target = folder() / "kept.iso";
  testing_support::WriteFile(blank, "");
  testing_support::WriteFile(noData, std::string(40 * 2048, '\0'));
  testing_support::WriteFile(target, "earlier");
  fs::create_directories(folder() / "dir.iso");
  const struct {
    std::string drive, target;
    Failure failure;
  } rows[] = {
      {"stdio:" + blank, target, Failure::SourceUnreadable},
      {"stdio:" + noData, target, Failure::SourceUnreadable},
      {"stdio:" + original_, folder() / "dir.iso", Failure::TargetNotAFile},
      {"", target, Failure::NoDrive},
  };
  for (const auto& row : rows) {
    SwappingObserver observer("", false);
    EXPECT_EQ(Copy(row.target, row.drive, observer).failure, row.failure) << row.drive;
    EXPECT_EQ(testing_support::ReadFile(target), "earlier") << row.drive;
  }
  EXPECT_TRUE(fs::is_empty(folder() / "dir.iso"));
}

}  // namespace
