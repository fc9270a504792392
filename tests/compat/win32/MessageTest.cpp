// The message queue: order and filters of posted messages, timers that come
// out of the queue once however late it is read, windows and their
// procedures, and waiting without spinning.
#include "compat/win32/Message.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "compat/win32/Error.h"
#include "compat/win32/Process.h"
#include "compat/win32/Time.h"
#include "tests/compat/win32/Win32Expect.h"

namespace {

struct Seen {
  UINT message;
  WPARAM wParam;
  LONG_PTR userData;
};
thread_local std::vector<Seen> gSeen;

LRESULT CALLBACK Record(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  gSeen.push_back({message, wParam, GetWindowLongPtrW(hwnd, GWLP_USERDATA)});
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

class MessageQueue : public testing::Test {
 protected:
  static ATOM Register() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Record;
    wc.lpszClassName = u"test.MessageQueue";
    return RegisterClassW(&wc);
  }
  void SetUp() override {
    Register();  // the first test registers it; the others find it taken
    hwnd = CreateWindowExW(0, u"test.MessageQueue", u"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    gSeen.clear();
  }
  void TearDown() override {
    DestroyWindow(hwnd);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  // Every message waiting now, in the order the queue hands them out.
  std::vector<UINT> Drain(HWND filter = nullptr, UINT min = 0, UINT max = 0) {
    std::vector<UINT> out;
    MSG msg;
    while (PeekMessageW(&msg, filter, min, max, PM_REMOVE)) out.push_back(msg.message);
    return out;
  }
  HWND hwnd = nullptr;
};

TEST_F(MessageQueue, CreationMessagesComeBeforeUserData) {
  HWND second = CreateWindowExW(0, u"test.MessageQueue", u"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_EQ(gSeen.size(), 2u);
  EXPECT_EQ(gSeen[0].message, static_cast<UINT>(WM_NCCREATE));
  EXPECT_EQ(gSeen[1].message, static_cast<UINT>(WM_CREATE));
  EXPECT_EQ(gSeen[1].userData, 0);
  DestroyWindow(second);
  EXPECT_FALSE(IsWindow(second));
}

// A window that is gone, a class that is missing or taken, a thread without
// a queue: each call fails with its failure value and the desktop's code.
TEST_F(MessageQueue, CallsFailWithTheDesktopsWindowCodes) {
  const HWND gone = hwnd;
  DestroyWindow(hwnd);
  constexpr DWORD kGone = ERROR_INVALID_WINDOW_HANDLE;
  EXPECT_WIN32(DestroyWindow(gone), FALSE, kGone);
  EXPECT_WIN32(SetWindowLongPtrW(gone, GWLP_USERDATA, 1), 0, kGone);
  EXPECT_WIN32(GetWindowLongPtrW(gone, GWLP_USERDATA), 0, kGone);
  EXPECT_WIN32(SendMessageW(gone, WM_USER, 0, 0), 0, kGone);
  EXPECT_WIN32(PostMessageW(gone, WM_USER, 0, 0), FALSE, kGone);
  EXPECT_WIN32(SetTimer(gone, 1, 10, nullptr), 0u, kGone);
  EXPECT_WIN32(KillTimer(gone, 1), FALSE, kGone);
  EXPECT_WIN32(CreateWindowExW(0, u"test.MessageQueue", u"", 0, 0, 0, 0, 0, gone, nullptr, nullptr, nullptr), nullptr,
               kGone);
  EXPECT_WIN32(CreateWindowExW(0, u"test.NoSuchClass", u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr), nullptr,
               ERROR_CANNOT_FIND_WND_CLASS);
  EXPECT_WIN32(UnregisterClassW(u"test.NoSuchClass", nullptr), FALSE, ERROR_CANNOT_FIND_WND_CLASS);
  EXPECT_WIN32(Register(), 0, ERROR_CLASS_ALREADY_EXISTS);
  EXPECT_WIN32(PostThreadMessageW(0x7FFFFFF0, WM_USER, 0, 0), FALSE, ERROR_INVALID_THREAD_ID);
}

TEST_F(MessageQueue, PostedMessagesKeepTheirOrderAndFiltersPickThem) {
  PostMessageW(hwnd, WM_USER + 1, 0, 0);
  PostMessageW(nullptr, WM_USER + 2, 0, 0);
  PostMessageW(hwnd, WM_USER + 3, 0, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_USER + 1u);
  EXPECT_TRUE(Drain(nullptr, 0, WM_USER).empty());
  EXPECT_EQ(Drain(reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))), std::vector<UINT>{WM_USER + 2});
  EXPECT_EQ(Drain(hwnd, WM_USER + 3, WM_USER + 3), std::vector<UINT>{WM_USER + 3});
  EXPECT_EQ(Drain(), std::vector<UINT>{WM_USER + 1});
}

TEST_F(MessageQueue, QuitComesAfterPostedMessagesAndEndsGetMessage) {
  PostQuitMessage(7);
  PostMessageW(hwnd, WM_USER, 0, 0);
  MSG msg;
  EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
  EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(MessageQueue, ALateTimerGivesOneMessageAfterThePostedOnes) {
  ASSERT_EQ(SetTimer(hwnd, 17, 30, nullptr), 17u);
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
  Sleep(130);  // four periods
  PostMessageW(hwnd, WM_USER, 0, 0);
  ASSERT_TRUE(PeekMessageW(&msg, hwnd, WM_TIMER, WM_TIMER, PM_NOREMOVE));
  EXPECT_EQ(msg.wParam, 17u);
  EXPECT_EQ(Drain(), (std::vector<UINT>{WM_USER, WM_TIMER}));

  // Setting it again restarts the period, killing it drops a due tick.
  Sleep(15);
  SetTimer(hwnd, 17, 30, nullptr);
  EXPECT_TRUE(Drain().empty());
  SetTimer(hwnd, 17, 10, nullptr);
  Sleep(15);
  EXPECT_TRUE(KillTimer(hwnd, 17));
  EXPECT_TRUE(Drain().empty());
  EXPECT_FALSE(KillTimer(hwnd, 17));
}

// A timer without a window belongs to the thread: the queue chooses its number, and its ticks come with no window.
// Dispatching a tick calls the timer's own procedure.
TEST_F(MessageQueue, ThreadTimersTakeANumberOfTheirOwn) {
  static UINT_PTR ticked = 0;
  const UINT_PTR first = SetTimer(nullptr, 17, 10, [](HWND, UINT, UINT_PTR id, DWORD) { ticked = id; });
  const UINT_PTR second = SetTimer(nullptr, 17, 10, nullptr);
  ASSERT_NE(first, 0u);
  EXPECT_NE(first, second);
  EXPECT_TRUE(KillTimer(nullptr, second));
  Sleep(30);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, UINT{WM_TIMER});
  EXPECT_EQ(msg.hwnd, nullptr);
  EXPECT_EQ(msg.wParam, first);
  DispatchMessageW(&msg);
  EXPECT_EQ(ticked, first);
  EXPECT_TRUE(KillTimer(nullptr, first));
  EXPECT_TRUE(Drain().empty());  // the killed one's tick too
  EXPECT_FALSE(KillTimer(nullptr, first));

  // Threads setting timers at once never get the same number.
  constexpr std::size_t kEach = 1000;
  std::vector<UINT_PTR> numbers(2 * kEach);
  const auto setMany = [&](std::size_t from) {
    for (std::size_t i = from; i < from + kEach; ++i) numbers[i] = SetTimer(nullptr, 0, USER_TIMER_MAXIMUM, nullptr);
    for (std::size_t i = from; i < from + kEach; ++i) KillTimer(nullptr, numbers[i]);
  };
  std::thread other(setMany, kEach);
  setMany(0);
  other.join();
  std::sort(numbers.begin(), numbers.end());
  EXPECT_EQ(std::unique(numbers.begin(), numbers.end()), numbers.end());
}

TEST_F(MessageQueue, DispatchReachesTheProcedureAndDestroyDropsWhatWaits) {
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, 42);
  PostMessageW(hwnd, WM_USER, 5, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  DispatchMessageW(&msg);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].wParam, 5u);
  EXPECT_EQ(gSeen[0].userData, 42);

  PostMessageW(hwnd, WM_USER, 0, 0);
  SetTimer(hwnd, 3, 10, nullptr);
  DestroyWindow(hwnd);
  Sleep(15);
  EXPECT_TRUE(Drain().empty());
}

// Posts `message` to `hwnd` (or to the thread `thread` when hwnd is null) after 100 ms.
std::thread PostLater(HWND hwnd, UINT message, DWORD thread = 0) {
  return std::thread([=] {
    Sleep(100);
    if (hwnd != nullptr) PostMessageW(hwnd, message, 0, 0);
    else PostThreadMessageW(thread, message, 0, 0);
  });
}

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// GetMessageW sleeps in the kernel: through timer ticks and until another
// thread posts, it uses next to no processor time.
TEST_F(MessageQueue, GetMessageSleepsUntilATimerOrAPostFromAnotherThread) {
  // Read before the timer is set: a thread held up between the two on a busy
  // machine would otherwise start the count late and see the tick early.
  const DWORD start = GetTickCount();
  SetTimer(hwnd, 1, 100, nullptr);
  const double cpuBefore = ThreadCpuMs();
  MSG msg;
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
  EXPECT_GE(GetTickCount() - start, 90u);
  KillTimer(hwnd, 1);

  std::thread poster = PostLater(hwnd, WM_USER + 9);
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  poster.join();
  EXPECT_EQ(msg.message, WM_USER + 9u);

  // A due timer that the filter leaves out does not wake the wait.
  SetTimer(hwnd, 2, 10, nullptr);
  std::thread threadPoster = PostLater(nullptr, WM_USER + 10, GetCurrentThreadId());
  ASSERT_TRUE(GetMessageW(&msg, reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)), 0, 0));
  threadPoster.join();
  EXPECT_EQ(msg.message, WM_USER + 10u);

  // A message already read is no news: WaitMessage sleeps until the next post.
  PostMessageW(hwnd, WM_USER + 11, 0, 0);
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  const DWORD beforeWait = GetTickCount();
  std::thread latePoster = PostLater(hwnd, WM_USER + 12);
  WaitMessage();
  latePoster.join();
  EXPECT_GE(GetTickCount() - beforeWait, 90u);
  EXPECT_LT(ThreadCpuMs() - cpuBefore, 20.0);
}

// A stand-in for the window system's loop: its wait sleeps on the wake-up
// descriptor, as the real loop's poll does.
int gWakeFd = -1;
std::atomic<int> gWaits{0};
int gPendingRuns = 0;
bool Readable(int fd, int timeoutMs = 0) {
  pollfd wake{fd, POLLIN, 0};
  return poll(&wake, 1, timeoutMs) == 1;
}
void WaitOnTheDescriptor(int timeoutMs) {
  ++gWaits;
  Readable(gWakeFd, timeoutMs);
}
void CountPendingRun() { ++gPendingRuns; }
const compat::win32::EventLoop kStandInLoop{WaitOnTheDescriptor, CountPendingRun};

TEST_F(MessageQueue, AJoinedLoopWakesItsReaderAndDispatchesOnlyWindowMessages) {
  gWakeFd = compat::win32::JoinEventLoop(&kStandInLoop);
  ASSERT_GE(gWakeFd, 0);
  EXPECT_EQ(compat::win32::NextWindowMessageTimeout(), -1);
  // The post comes once the reader sleeps in the loop (or after 5 s, when
  // it never does), however slowly a busy machine lets the reader get there.
  std::thread poster([this] {
    for (int waited = 0; gWaits.load() == 0 && waited < 5000; ++waited) Sleep(1);
    PostMessageW(hwnd, WM_USER + 1, 0, 0);
  });
  MSG msg;
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  poster.join();
  EXPECT_EQ(msg.message, WM_USER + 1u);
  EXPECT_GE(gWaits.load(), 1) << "the reader slept in the loop";
  EXPECT_FALSE(Readable(gWakeFd)) << "reading the queue lowers the wake-up, or the loop would spin";
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(gPendingRuns, 1) << "only an unfiltered poll lets the loop run";

  // The loop takes window messages and due timers; the thread's own messages and its quit stay.
  PostMessageW(nullptr, WM_USER + 2, 0, 0);
  compat::win32::DispatchWindowMessages();
  EXPECT_FALSE(Readable(gWakeFd)) << "a thread message alone must not keep the loop awake";
  PostQuitMessage(4);
  PostMessageW(hwnd, WM_USER + 3, 0, 0);
  EXPECT_TRUE(Readable(gWakeFd));
  EXPECT_EQ(compat::win32::NextWindowMessageTimeout(), 0);
  // Long enough that a busy machine cannot let it come due before it is looked at.
  SetTimer(hwnd, 5, 400, nullptr);
  compat::win32::DispatchWindowMessages();
  EXPECT_FALSE(Readable(gWakeFd));
  const int timeout = compat::win32::NextWindowMessageTimeout();
  EXPECT_GT(timeout, 0);
  EXPECT_LE(timeout, 400);
  Sleep(static_cast<DWORD>(timeout));  // rounded up: the timer is due by then
  EXPECT_EQ(compat::win32::NextWindowMessageTimeout(), 0);
  compat::win32::DispatchWindowMessages();
  ASSERT_EQ(gSeen.size(), 2u);
  EXPECT_EQ(gSeen[0].message, WM_USER + 3u);
  EXPECT_EQ(gSeen[1].message, static_cast<UINT>(WM_TIMER));
  KillTimer(hwnd, 5);
  EXPECT_EQ(Drain(), (std::vector<UINT>{WM_USER + 2, WM_QUIT}));
  EXPECT_EQ(compat::win32::JoinEventLoop(nullptr), -1);
  EXPECT_EQ(fcntl(gWakeFd, F_GETFD), -1) << "parting closes the wake-up descriptor";
}

}  // namespace
