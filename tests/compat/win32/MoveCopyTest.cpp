// Moving and copying files: existing targets, folders, read-only and open files, other file systems.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "compat/win32/File.h"
#include "compat/win32/Path.h"
#include "compat/win32/Sync.h"
#include "tests/compat/win32/Win32Expect.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

class MoveCopy : public testing_support::IsolatedTest {
 protected:
  // Files "a" (A), "b" (B), read-only "ro" (R), a folder "d" with a file and an empty folder "e".
  std::string Populate(const std::string& name) const {
    const std::string root = folder() / name;
    fs::create_directories(root + "/d");
    fs::create_directory(root + "/e");
    WriteFile(root + "/a", "A");
    WriteFile(root + "/b", "B");
    WriteFile(root + "/d/inner", "I");
    WriteFile(root + "/ro", "R");
    chmod((root + "/ro").c_str(), 0444);
    return root;
  }
  static std::u16string Windows(const std::string& path) { return compat::win32::WindowsPath(path); }
  // The content of a file, "<folder>" for a folder, "<none>" for nothing.
  static std::string Shown(const std::string& path) {
    if (fs::is_directory(path)) return "<folder>";
    return fs::exists(path) ? ReadFile(path) : "<none>";
  }
};

TEST_F(MoveCopy, TargetsAndSourcesOfEveryKind) {
  enum Op { kMove, kCopy };
  const struct {
    Op op;
    const char *from, *to;
    DWORD flags, error;  // the move's flags (for a copy, failIfExists); 0: the call succeeds
    const char* after;   // what the target holds afterwards
    bool sourceStays;
  } kCases[] = {
      {kMove, "a", "n", 0, 0, "A", false},
      {kMove, "a", "b", 0, ERROR_ALREADY_EXISTS, "B", true},
      {kMove, "a", "b", MOVEFILE_REPLACE_EXISTING, 0, "A", false},
      {kMove, "a", "e", MOVEFILE_REPLACE_EXISTING, ERROR_ACCESS_DENIED, "<folder>", true},
      {kMove, "a", "ro", MOVEFILE_REPLACE_EXISTING, ERROR_ACCESS_DENIED, "R", true},
      {kMove, "d", "n", 0, 0, "<folder>", false},
      {kMove, "d", "b", MOVEFILE_REPLACE_EXISTING, ERROR_ACCESS_DENIED, "B", true},
      {kMove, "missing", "n", 0, ERROR_FILE_NOT_FOUND, "<none>", false},
      {kMove, "a", "nofolder/n", 0, ERROR_PATH_NOT_FOUND, "<none>", true},
      {kMove, "a", "n", MOVEFILE_DELAY_UNTIL_REBOOT, ERROR_INVALID_PARAMETER, "<none>", true},
      {kCopy, "a", "n", TRUE, 0, "A", true},
      {kCopy, "a", "b", TRUE, ERROR_FILE_EXISTS, "B", true},
      {kCopy, "a", "b", FALSE, 0, "A", true},
      {kCopy, "a", "a", FALSE, ERROR_SHARING_VIOLATION, "A", true},
      {kCopy, "a", "e", FALSE, ERROR_ACCESS_DENIED, "<folder>", true},
      {kCopy, "a", "ro", FALSE, ERROR_ACCESS_DENIED, "R", true},
      {kCopy, "d", "n", FALSE, ERROR_ACCESS_DENIED, "<none>", true},
      {kCopy, "missing", "n", FALSE, ERROR_FILE_NOT_FOUND, "<none>", false},
      {kCopy, "a", "nofolder/n", FALSE, ERROR_PATH_NOT_FOUND, "<none>", true},
  };
  int row = 0;
  for (const auto& c : kCases) {
    const std::string root = Populate("case" + std::to_string(row++));
    const std::string from = root + "/" + c.from;
    const std::string to = root + "/" + c.to;
    const std::string source = Shown(from);
    SCOPED_TRACE(std::string(c.op == kMove ? "move " : "copy ") + c.from + " to " + c.to);
    SetLastError(0xdeadbeef);
    const BOOL done = c.op == kMove ? MoveFileExW(Windows(from).c_str(), Windows(to).c_str(), c.flags)
                                    : CopyFileW(Windows(from).c_str(), Windows(to).c_str(), c.flags);
    EXPECT_EQ(done, c.error == 0 ? TRUE : FALSE);
    EXPECT_EQ(c.error == 0 ? 0u : GetLastError(), c.error);  // the code left on failure
    EXPECT_EQ(Shown(to), c.after);
    EXPECT_EQ(Shown(from), c.sourceStays ? source : "<none>");
    // No temporary copy is left behind, whatever happened.
    for (const auto& entry : fs::directory_iterator(root))
      EXPECT_FALSE(entry.path().filename().string().starts_with(".~")) << entry.path();
  }
  EXPECT_WIN32(MoveFileExW(u"C:\\a", Windows(folder() / "x").c_str(), 0), FALSE, ERROR_PATH_NOT_FOUND);
  EXPECT_WIN32(CopyFileW(Windows(folder() / "case0/n").c_str(), u"C:\\x", FALSE), FALSE, ERROR_PATH_NOT_FOUND);
  EXPECT_WIN32(MoveFileExW(Windows(folder() / "case0/n").c_str(), nullptr, 0), FALSE, ERROR_INVALID_PARAMETER);
}

TEST_F(MoveCopy, CopyKeepsPermissionsAndWriteTime) {
  const std::string root = Populate("p");
  chmod((root + "/a").c_str(), 0750);
  const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  utimensat(AT_FDCWD, (root + "/a").c_str(), old, 0);
  ASSERT_TRUE(CopyFileW(Windows(root + "/a").c_str(), Windows(root + "/c").c_str(), TRUE));
  struct stat st;
  ASSERT_EQ(stat((root + "/c").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
}

TEST_F(MoveCopy, OpenFilesRefuseWhatTheirSharingForbids) {
  const std::string root = Populate("s");
  // Open for writing, sharing reading and writing but not deletion.
  const HANDLE held = CreateFileW(Windows(root + "/b").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const std::u16string a = Windows(root + "/a"), b = Windows(root + "/b"), n = Windows(root + "/n");
  EXPECT_WIN32(MoveFileExW(b.c_str(), n.c_str(), 0), FALSE, ERROR_SHARING_VIOLATION);
  EXPECT_WIN32(MoveFileExW(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING), FALSE, ERROR_SHARING_VIOLATION);
  // The copy reads without sharing writes.
  EXPECT_WIN32(CopyFileW(b.c_str(), n.c_str(), FALSE), FALSE, ERROR_SHARING_VIOLATION);
  CloseHandle(held);
  EXPECT_TRUE(MoveFileExW(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(ReadFile(root + "/b"), "A");
}

TEST_F(MoveCopy, AnotherFileSystemTakesFilesOnlyByCopy) {
  struct stat here, there;
  if (stat(folder().path().c_str(), &here) != 0 || stat("/dev/shm", &there) != 0 || here.st_dev == there.st_dev ||
      access("/dev/shm", W_OK) != 0)
    GTEST_SKIP() << "no second file system to move to";
  SetEnv("TMPDIR", "/dev/shm");
  const testing_support::TempFolder away;  // on the other file system
  const std::string root = Populate("x");
  const std::u16string a = Windows(root + "/a"), b = Windows(root + "/b"), d = Windows(root + "/d");
  const std::u16string target = Windows(away / "a");
  EXPECT_WIN32(MoveFileExW(a.c_str(), target.c_str(), 0), FALSE, ERROR_NOT_SAME_DEVICE);
  EXPECT_WIN32(MoveFileExW(d.c_str(), Windows(away / "d").c_str(), MOVEFILE_COPY_ALLOWED), FALSE,
               ERROR_NOT_SAME_DEVICE);
  EXPECT_TRUE(MoveFileW(a.c_str(), target.c_str()));
  EXPECT_EQ(Shown(root + "/a"), "<none>");
  EXPECT_EQ(ReadFile(away / "a"), "A");
  EXPECT_WIN32(MoveFileExW(b.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED), FALSE, ERROR_ALREADY_EXISTS);
  EXPECT_EQ(ReadFile(away / "a"), "A");
  EXPECT_TRUE(MoveFileExW(b.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(ReadFile(away / "a"), "B");
  EXPECT_EQ(Shown(root + "/b"), "<none>");
}

}  // namespace
