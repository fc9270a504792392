// Named mutexes across processes (and their end by SIGKILL), mutex ownership
// within a process, handle closing, and the clock and process calls.
#include "compat/win32/Sync.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "compat/win32/StringConv.h"
#include "tests/compat/win32/Win32Expect.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"

namespace {

// Every test gets its own runtime folder, so no lock file outlives it.
class NamedMutex : public testing_support::IsolatedTest {
 protected:

  // Another process that creates the mutex and holds it until it is killed.
  struct Holder {
    std::unique_ptr<testing_support::BackgroundProgram> program;
    std::string resultFile;
    // "handle 0" or "handle 183"
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
    testing_support::ProgramRun run;
    run.program = testing_support::BuildBin() + "/win32_probe";
    const std::string resultFile = folder() / ("result" + std::to_string(++holders_));
    run.args = {"mutex", name, resultFile};
    return {std::make_unique<testing_support::BackgroundProgram>(run), resultFile};
  }

  // Creates the mutex here: its handle and the code left.
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
  ASSERT_EQ(first.Result(), "handle 0\n");
  auto [mutex, error] = Create(name);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(CloseHandle(mutex));
  EXPECT_TRUE(testing_support::FileExists(runtimeFolder() + "/" + (compat::win32::Utf16ToUtf8(name) + ".mutex")));

  // Killed without a chance to clean up: the mark goes with the process.
  first.Kill();
  std::tie(mutex, error) = Create(name);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
  Holder second = StartHolder(compat::win32::Utf16ToUtf8(name));
  EXPECT_EQ(second.Result(), "handle 183\n");
  second.Kill();
  EXPECT_TRUE(CloseHandle(mutex));
}

TEST_F(NamedMutex, OfManyProcessesStartingTogetherExactlyOneIsFirst) {
  for (int round = 0; round < 4; ++round) {
    std::vector<Holder> holders;
    for (int i = 0; i < 8; ++i) holders.push_back(StartHolder("race-" + std::to_string(round)));
    int first = 0;
    for (const Holder& holder : holders) first += holder.Result() == "handle 0\n";
    EXPECT_EQ(first, 1) << "round " << round;
    for (Holder& holder : holders) holder.Kill();
  }
}

TEST_F(NamedMutex, HandlesWithinOneProcessShareTheMutex) {
  // "Local\" and "Global\" name one space here; the mutex lives while any
  // handle does.
  const auto [one, created] = Create(u"Local\\shared");
  const auto [two, opened] = Create(u"Global\\shared");
  EXPECT_NE(one, two);
  EXPECT_EQ(created, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(opened, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(CloseHandle(one));
  EXPECT_TRUE(CloseHandle(two));
  const auto [three, again] = Create(u"shared");
  EXPECT_EQ(again, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(CloseHandle(three));

  // Names compare as written; any characters, and names too long for a file
  // name, still make distinct lock files.
  const std::u16string longName(300, u'x');
  std::vector<HANDLE> handles;
  for (const std::u16string& name : {std::u16string(u"Name"), std::u16string(u"name"), std::u16string(u"a/b"),
                                     std::u16string(u"a%2Fb"), std::u16string(u".."), std::u16string(u"\x65E5"),
                                     longName + u"1", longName + u"2"}) {
    const auto [mutex, error] = Create(name);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS)) << compat::win32::Utf16ToUtf8(name);
    handles.push_back(mutex);
  }
  for (HANDLE handle : handles) EXPECT_TRUE(CloseHandle(handle));
}

using NamedMutexFolder = testing_support::IsolatedTest;

TEST_F(NamedMutexFolder, WithoutARuntimeFolderAPrivateOneBelowTmp) {
  UnsetEnv("XDG_RUNTIME_DIR");
  const std::string folder = "/tmp/win32compat-" + std::to_string(getuid());
  const std::string name = "fallback-" + std::to_string(getpid());
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, compat::win32::Utf8ToUtf16(name).c_str());
  struct stat st;
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(testing_support::FileExists(folder + "/" + name + ".mutex"));
  EXPECT_TRUE(CloseHandle(mutex));
  std::remove((folder + "/" + name + ".mutex").c_str());
  std::remove((folder + "/" + name + ".gate").c_str());
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

  // Closed, never opened, or not a mutex.
  for (HANDLE bad : {mutex, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(0x12345)}) {
    EXPECT_WIN32(CloseHandle(bad), FALSE, ERROR_INVALID_HANDLE);
    EXPECT_WIN32(WaitForSingleObject(bad, 0), static_cast<DWORD>(WAIT_FAILED), ERROR_INVALID_HANDLE);
    EXPECT_WIN32(ReleaseMutex(bad), FALSE, ERROR_INVALID_HANDLE);
  }
}

TEST(Process, ClockIdsAndExit) {
  const DWORD before = GetTickCount();
  Sleep(30);
  EXPECT_GE(GetTickCount() - before, 30u);
  EXPECT_EQ(GetCurrentThreadId(), static_cast<DWORD>(gettid()));
  DWORD other = 0;
  std::thread([&] { other = GetCurrentThreadId(); }).join();
  EXPECT_NE(other, GetCurrentThreadId());
  // ExitProcess ends the process the way exit() does, handlers included.
  EXPECT_EXIT(
      {
        std::atexit([] { std::fputs("handlers ran", stderr); });
        ExitProcess(7);
      },
      ::testing::ExitedWithCode(7), "handlers ran");
}

}  // namespace
