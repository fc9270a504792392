// Named mutexes across processes (and their end by SIGKILL), mutex ownership
// within a process, handle closing, and the clock and process calls.
#include "compat/win32/Sync.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "compat/win32/Error.h"
#include "compat/win32/StringConv.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::BackgroundProgram;
using testing_support::TempFolder;

// Every test gets its own runtime folder, so no lock file outlives it.
class NamedMutex : public ::testing::Test {
 protected:
  void SetUp() override { setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1); }
  void TearDown() override { unsetenv("XDG_RUNTIME_DIR"); }

  // Another process that creates `name` and holds it until it is killed; its
  // result is "handle 0" or "handle 183".
  struct Holder {
    std::unique_ptr<BackgroundProgram> program;
    std::string resultFile;
  };
  Holder StartHolder(const std::string& name) {
    testing_support::ProgramRun run;
    run.program = testing_support::BuildBin() + "/win32_probe";
    const std::string resultFile = results_ / ("holder" + std::to_string(++holders_));
    run.args = {"mutex", name, resultFile};
    run.env = {{"XDG_RUNTIME_DIR", runtime_.path()}};
    return {std::make_unique<BackgroundProgram>(run), resultFile};
  }
  static std::string ResultOf(const Holder& holder) {
    if (!testing_support::WaitForFile(holder.resultFile, std::chrono::seconds(20))) return "no result";
    std::string result = testing_support::ReadFile(holder.resultFile);
    if (!result.empty() && result.back() == '\n') result.pop_back();
    return result;
  }
  static void KillHard(Holder& holder) {
    kill(holder.program->pid(), SIGKILL);
    const testing_support::ProcessResult end = holder.program->Wait();
    EXPECT_EQ(end.signal, SIGKILL);
  }

  // Creates `name` here: the handle (closed by the caller) and the code.
  static std::pair<HANDLE, DWORD> Create(const std::u16string& name) {
    SetLastError(12345);
    const HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
    return {mutex, GetLastError()};
  }

  TempFolder runtime_;
  TempFolder results_;
  int holders_ = 0;
};

constexpr char16_t kInstanceName[] = u"{3f1e7a52-9c4d-4b8e-a6d1-0c57e2b9f48a}";

TEST_F(NamedMutex, ASecondProcessSeesItUntilTheFirstIsKilled) {
  const std::string name = compat::win32::Utf16ToUtf8(kInstanceName);
  Holder first = StartHolder(name);
  ASSERT_EQ(ResultOf(first), "handle 0");

  auto [mutex, error] = Create(kInstanceName);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(CloseHandle(mutex));

  // Killed without a chance to clean up: the mark goes with the process.
  KillHard(first);
  std::tie(mutex, error) = Create(kInstanceName);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));

  // Now this process is first, and another one sees that.
  Holder second = StartHolder(name);
  EXPECT_EQ(ResultOf(second), "handle 183");
  KillHard(second);
  EXPECT_TRUE(CloseHandle(mutex));
  std::tie(mutex, error) = Create(kInstanceName);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(CloseHandle(mutex));

  // The lock file is named after the mutex, in the runtime folder.
  EXPECT_TRUE(testing_support::FileExists(runtime_ / (name + ".mutex")));
}

TEST_F(NamedMutex, OfManyProcessesStartingTogetherExactlyOneIsFirst) {
  for (int round = 0; round < 4; ++round) {
    const std::string name = "race-" + std::to_string(round);
    std::vector<Holder> holders;
    for (int i = 0; i < 8; ++i) holders.push_back(StartHolder(name));
    int first = 0, second = 0;
    for (const Holder& holder : holders) {
      const std::string result = ResultOf(holder);
      first += result == "handle 0";
      second += result == "handle 183";
    }
    EXPECT_EQ(first, 1) << "round " << round;
    EXPECT_EQ(second, 7) << "round " << round;
    for (Holder& holder : holders) KillHard(holder);
  }
}

TEST_F(NamedMutex, HandlesWithinOneProcessShareTheMutex) {
  auto [one, created] = Create(u"Local\\shared");
  auto [two, opened] = Create(u"Global\\shared");  // one space for both prefixes
  ASSERT_NE(one, nullptr);
  ASSERT_NE(two, nullptr);
  EXPECT_NE(one, two);
  EXPECT_EQ(created, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(opened, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  // It lives while any handle does.
  EXPECT_TRUE(CloseHandle(one));
  auto [three, stillThere] = Create(u"shared");
  EXPECT_EQ(stillThere, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(CloseHandle(two));
  EXPECT_TRUE(CloseHandle(three));
  auto [four, again] = Create(u"shared");
  EXPECT_EQ(again, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(CloseHandle(four));

  // Names are compared as written, and any characters make distinct file names.
  std::vector<HANDLE> handles;
  for (const char16_t* name : {u"Name", u"name", u"a/b", u"a%2Fb", u"a\\b", u"..", u"\x65E5\x672C", u"%"}) {
    SCOPED_TRACE(compat::win32::Utf16ToUtf8(name));
    auto [mutex, error] = Create(name);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
    handles.push_back(mutex);
  }
  // A name too long for a file name still works, and stays apart from one
  // that differs only at its end.
  const std::u16string longName(300, u'x');
  auto [longOne, longError] = Create(longName + u"1");
  auto [longTwo, longError2] = Create(longName + u"2");
  EXPECT_EQ(longError, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(longError2, static_cast<DWORD>(ERROR_SUCCESS));
  handles.push_back(longOne);
  handles.push_back(longTwo);
  for (HANDLE handle : handles) EXPECT_TRUE(CloseHandle(handle));
}

TEST(NamedMutexFolder, WithoutARuntimeFolderAPrivateOneBelowTmp) {
  unsetenv("XDG_RUNTIME_DIR");
  const std::u16string name = u"fallback-" + compat::win32::Utf8ToUtf16(std::to_string(getpid()));
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  ASSERT_NE(mutex, nullptr);
  const std::string folder = "/tmp/win32compat-" + std::to_string(getuid());
  struct stat st;
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  const std::string stem = folder + "/" + compat::win32::Utf16ToUtf8(name);
  EXPECT_TRUE(testing_support::FileExists(stem + ".mutex"));
  EXPECT_TRUE(CloseHandle(mutex));
  std::remove((stem + ".mutex").c_str());
  std::remove((stem + ".gate").c_str());
}

TEST(Mutex, OwnershipIsPerThreadAndCounted) {
  const HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
  ASSERT_NE(mutex, nullptr);
  // The owner enters again at once; another thread times out.
  EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD otherResult = 0;
  std::thread([&] { otherResult = WaitForSingleObject(mutex, 20); }).join();
  EXPECT_EQ(otherResult, static_cast<DWORD>(WAIT_TIMEOUT));
  SetLastError(0);
  std::thread([&] { otherResult = ReleaseMutex(mutex); }).join();
  EXPECT_EQ(otherResult, static_cast<DWORD>(FALSE));

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
  SetLastError(0);
  EXPECT_FALSE(ReleaseMutex(mutex));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
  EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(CloseHandle(mutex));
}

TEST(Handles, OnlyOpenHandlesClose) {
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
  EXPECT_TRUE(CloseHandle(mutex));
  for (HANDLE bad : {mutex, static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(0x12345)}) {
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(bad, 0), static_cast<DWORD>(WAIT_FAILED));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
}

TEST(Process, ClockIdsAndExit) {
  const DWORD before = GetTickCount();
  Sleep(30);
  EXPECT_GE(GetTickCount() - before, 30u);
  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
  EXPECT_EQ(GetCurrentThreadId(), static_cast<DWORD>(gettid()));
  DWORD other = 0;
  std::thread([&] { other = GetCurrentThreadId(); }).join();
  EXPECT_NE(other, GetCurrentThreadId());
  EXPECT_NE(other, 0u);
  // ExitProcess ends the process the way exit() does, handlers included.
  EXPECT_EXIT(
      {
        std::atexit([] { std::fputs("handlers ran", stderr); });
        ExitProcess(7);
      },
      ::testing::ExitedWithCode(7), "handlers ran");
}

}  // namespace
