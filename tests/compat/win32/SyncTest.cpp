// Named mutexes across processes (and their end by SIGKILL), mutex ownership, and the process calls.
#include "compat/win32/Sync.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "compat/win32/Process.h"
#include "compat/win32/StringConv.h"
#include "compat/win32/Time.h"
#include "tests/compat/win32/Win32Expect.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"

namespace {

std::string HandleWith(long code) { return "handle " + std::to_string(code) + "\n"; }

// Each test has its own runtime folder and lock-folder variables, which the holders inherit.
class NamedMutex : public testing_support::IsolatedTest {
 protected:
  // Another process that creates the mutex, writes "handle <code>" or "null <code>" and waits.
  struct Holder {
    std::unique_ptr<testing_support::BackgroundProgram> program;
    std::string resultFile;
    std::string Result() const {
      if (!testing_support::WaitForFile(resultFile, std::chrono::seconds(20))) return "no result";
      return testing_support::ReadFile(resultFile);
    }
    void Kill() {
      kill(program->pid(), SIGKILL);
      EXPECT_EQ(program->Wait().signal, SIGKILL);
    }
  };
  Holder StartHolder(const std::string& name) {
    const std::string resultFile = folder() / ("result" + std::to_string(++holders_));
    testing_support::ProgramRun run;
    run.program = testing_support::BuildBin() + "/win32_probe";
    run.args = {"mutex", name, resultFile};
    return {std::make_unique<testing_support::BackgroundProgram>(run), resultFile};
  }

  static std::pair<HANDLE, DWORD> Create(const std::u16string& name) {
    SetLastError(12345);
    const HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
    EXPECT_NE(mutex, nullptr);
    return {mutex, GetLastError()};
  }

  int holders_ = 0;
};

TEST_F(NamedMutex, ASecondProcessSeesItUntilTheFirstIsKilled) {
  const std::u16string name = u"{3f1e7a52-9c4d-4b8e-a6d1-0c57e2b9f48a}";
  Holder first = StartHolder(compat::win32::Utf16ToUtf8(name));
  ASSERT_EQ(first.Result(), HandleWith(ERROR_SUCCESS));
  auto [mutex, error] = Create(name);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(CloseHandle(mutex));
  EXPECT_TRUE(testing_support::FileExists(runtimeFolder() + "/" + compat::win32::Utf16ToUtf8(name) + ".mutex"));
  // Killed without a chance to clean up: the mark goes with the process.
  first.Kill();
  std::tie(mutex, error) = Create(name);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
  Holder second = StartHolder(compat::win32::Utf16ToUtf8(name));
  EXPECT_EQ(second.Result(), HandleWith(ERROR_ALREADY_EXISTS));
  second.Kill();
  EXPECT_TRUE(CloseHandle(mutex));
}

TEST_F(NamedMutex, OfManyProcessesStartingTogetherExactlyOneIsFirst) {
  for (int round = 0; round < 4; ++round) {
    std::vector<Holder> holders;
    for (int i = 0; i < 8; ++i) holders.push_back(StartHolder("race-" + std::to_string(round)));
    int first = 0;
    for (const Holder& holder : holders) first += holder.Result() == HandleWith(ERROR_SUCCESS);
    EXPECT_EQ(first, 1) << "round " << round;
    for (Holder& holder : holders) holder.Kill();
  }
}

TEST_F(NamedMutex, HandlesWithinOneProcessShareTheMutex) {
  // "Local\" and "Global\" name one space; the mutex lives while any handle does.
  const auto [one, created] = Create(u"Local\\shared");
  const auto [two, opened] = Create(u"Global\\shared");
  EXPECT_EQ(created, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(opened, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(CloseHandle(one) && CloseHandle(two));
  const auto [three, again] = Create(u"shared");
  EXPECT_EQ(again, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(CloseHandle(three));
  // Names compare as written; any characters and over-long names make distinct lock files.
  const std::u16string longName(300, u'x');
  std::vector<HANDLE> handles;
  const std::u16string names[] = {u"Name", u"name", u"a/b", u"a%2Fb", u"..", u"\x65E5", u"azAZ09",
                                  longName + u"1", longName + u"2"};
  for (const std::u16string& name : names) {
    const auto [mutex, error] = Create(name);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS)) << compat::win32::Utf16ToUtf8(name);
    handles.push_back(mutex);
  }
  for (HANDLE handle : handles) EXPECT_TRUE(CloseHandle(handle));
  // Letters and digits at both ends of their ranges stay as they are.
  EXPECT_TRUE(testing_support::FileExists(runtimeFolder() + "/azAZ09.mutex"));
  // A long name keeps 160 bytes of its start, then "~" and its 64-bit hash in hex.
  EXPECT_TRUE(testing_support::FileExists(runtimeFolder() + "/" + std::string(160, 'x') + "~1E685F5BFF0918EC.mutex"));
  // An empty name, like none, makes a new unnamed mutex every time.
  const auto [unnamed, first] = Create(u"");
  const auto [another, second] = Create(u"");
  EXPECT_EQ(first + second, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(CloseHandle(unnamed) && CloseHandle(another));
}

const std::string kUser = std::to_string(getuid());
const std::string kTemporary = "tmp/win32compat-" + kUser;

void Link(const std::string& target, const std::string& at) { ASSERT_EQ(symlink(target.c_str(), at.c_str()), 0); }

// An unusable runtime folder or lock file moves the lock to a private folder; what was in the way stays.
TEST_F(NamedMutex, AnUnusableLockPlaceFallsBackToAPrivateFolder) {
  const std::string name = "instance";
  const struct {
    const char* what;
    bool runtimeSet;
    std::function<void(const std::string& root)> plant;
    bool inCache = false;  // the lock ends up below XDG_CACHE_HOME rather than TMPDIR
  } rows[] = {
      {"no runtime folder", false, [](auto&) {}},
      {"runtime folder is a file", true,
       [](auto& root) { rmdir((root + "/run").c_str()); Link(root + "/planted", root + "/run"); }},
      {"lock file is a folder", true, [&](auto& root) { mkdir((root + "/run/" + name + ".mutex").c_str(), 0700); }},
      {"lock file is a link", true, [&](auto& root) { Link(root + "/planted", root + "/run/" + name + ".mutex"); }},
      {"gate is a pipe", true, [&](auto& root) { mkfifo((root + "/run/" + name + ".gate").c_str(), 0600); }},
      {"runtime folder open, private folder a link", true,
       [](auto& root) {
         chmod((root + "/run").c_str(), 0755);
         mkdir((root + "/elsewhere").c_str(), 0700);
         Link(root + "/elsewhere", root + "/" + kTemporary);
       },
       true},
      {"private folder open to others", false,
       [](auto& root) {
         mkdir((root + "/" + kTemporary).c_str(), 0755);
         chmod((root + "/" + kTemporary).c_str(), 0755);
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    // A root of its own per row, outside the TMPDIR the row before set.
    const std::string root = folder() / ("fallback" + std::to_string(&row - rows));
    for (const char* made : {"", "/run", "/tmp"}) ASSERT_EQ(mkdir((root + made).c_str(), 0700), 0);
    row.runtimeSet ? SetEnv("XDG_RUNTIME_DIR", root + "/run") : UnsetEnv("XDG_RUNTIME_DIR");
    SetEnv("TMPDIR", root + "/tmp");
    SetEnv("XDG_CACHE_HOME", root + "/cache");
    testing_support::WriteFile(root + "/planted", "keep");
    row.plant(root);
    const auto [mutex, error] = Create(compat::win32::Utf8ToUtf16(name));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(CloseHandle(mutex));
    const std::string lockFolder = root + "/" + (row.inCache ? "cache/win32compat-" + kUser : kTemporary);
    struct stat st;
    ASSERT_EQ(lstat(lockFolder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);
    EXPECT_EQ(lstat((lockFolder + "/" + name + ".mutex").c_str(), &st), 0);
    EXPECT_EQ(testing_support::ReadFile(root + "/planted"), "keep");
  }
}

TEST_F(NamedMutex, FailsWhenNoFolderCanHoldItsLock) {
  testing_support::TempFolder root;
  UnsetEnv("XDG_RUNTIME_DIR");
  SetEnv("TMPDIR", root.path());
  UnsetEnv("XDG_CACHE_HOME");
  UnsetEnv("HOME");
  testing_support::WriteFile(root / ("win32compat-" + kUser), "keep");
  EXPECT_WIN32(CreateMutexW(nullptr, TRUE, u"nowhere"), nullptr, ERROR_ACCESS_DENIED);
  EXPECT_EQ(testing_support::ReadFile(root / ("win32compat-" + kUser)), "keep");
}

TEST(Mutex, OwnershipIsPerThreadAndCounted) {
  const HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_OBJECT_0));  // the owner again
  std::thread([&] {
    EXPECT_EQ(WaitForSingleObject(mutex, 20), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_WIN32(ReleaseMutex(mutex), FALSE, ERROR_NOT_OWNER);
  }).join();
  // A waiter blocked without limit gets it when the count falls to zero.
  std::atomic<bool> acquired = false;
  std::thread waiter([&] {
    EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    acquired = true;
    EXPECT_TRUE(ReleaseMutex(mutex));
  });
  EXPECT_TRUE(ReleaseMutex(mutex));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(acquired);
  EXPECT_TRUE(ReleaseMutex(mutex));
  waiter.join();
  EXPECT_TRUE(acquired);
  EXPECT_WIN32(ReleaseMutex(mutex), FALSE, ERROR_NOT_OWNER);
  EXPECT_TRUE(CloseHandle(mutex));
  EXPECT_WIN32(CloseHandle(mutex), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_WIN32(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_FAILED), ERROR_INVALID_HANDLE);
  EXPECT_WIN32(ReleaseMutex(mutex), FALSE, ERROR_INVALID_HANDLE);
}

TEST(Process, ClockIdsAndExit) {
  const DWORD before = GetTickCount();
  const DWORD mediaBefore = timeGetTime();
  Sleep(30);
  const DWORD mediaAfter = timeGetTime();
  EXPECT_GE(GetTickCount() - before, 30u);
  // The multimedia clock runs with the tick count, in milliseconds.
  EXPECT_GE(mediaAfter - mediaBefore, 30u);
  EXPECT_LT(mediaAfter - mediaBefore, 30u + 10000u);
  EXPECT_LE(static_cast<DWORD>(GetTickCount() - mediaAfter), 1000u);
  EXPECT_EQ(GetCurrentThreadId(), static_cast<DWORD>(gettid()));
  // ExitProcess ends the process the way exit() does, handlers included.
  EXPECT_EXIT(
      {
        std::atexit([] { std::fputs("handlers ran", stderr); });
        ExitProcess(7);
      },
      ::testing::ExitedWithCode(7), "handlers ran");
}

}  // namespace
