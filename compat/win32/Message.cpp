// Window classes, windows, per-thread message queues and timers.
//
// One lock guards the class table, the window table and every queue: posting
// from another thread is rare next to the owner's reads, and one lock keeps
// the order of window and queue look-ups simple. Window procedures are always
// called without it.
//
// A queue that an event loop joined has an eventfd besides its condition
// variable: a post raises it once until the queue is read again, so the
// loop's poll wakes for news without a descriptor write on every post.
#include "compat/win32/Message.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "compat/win32/Error.h"
#include "compat/win32/NoDestructor.h"
#include "compat/win32/Process.h"
#include "compat/win32/Time.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  std::chrono::milliseconds interval;
  Clock::time_point due;
  TIMERPROC proc;
};

struct Queue {
  DWORD threadId = 0;
  std::condition_variable wake;
  std::deque<MSG> posted;
  std::vector<Timer> timers;
  bool quit = false;
  int quitCode = 0;
  // Raised by every post, so that WaitMessage sees news that came in since
  // the queue was last read.
  std::uint64_t generation = 0;
  std::uint64_t generationSeen = 0;
  // The event loop that joined the thread, with its wake-up descriptor.
  const compat::win32::EventLoop* loop = nullptr;
  int wakeFd = -1;
  bool wakeRaised = false;

  Queue() = default;
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;
  ~Queue() {
    if (wakeFd >= 0) close(wakeFd);
  }
};

struct Window {
  std::shared_ptr<Queue> queue;
  WNDPROC proc;
  LONG_PTR userData = 0;
};

// The tables outlive every static destructor: a window may be destroyed by
// an object released while the process exits.
struct Tables {
  std::mutex lock;
  std::map<std::u16string, WNDCLASSW> classes;
  std::map<HWND, Window> windows;
  std::map<DWORD, std::weak_ptr<Queue>> queues;
  std::uintptr_t lastWindow = 0x10000;
  UINT_PTR lastThreadTimer = 0x7000;
};
Tables& Shared() {
  static compat::win32::NoDestructor<Tables> tables;
  return *tables;
}

// The calling thread's queue, made on first use; callers hold the lock.
std::shared_ptr<Queue> OwnQueueLocked() {
  thread_local std::shared_ptr<Queue> queue;
  if (!queue) {
    queue = std::make_shared<Queue>();
    queue->threadId = GetCurrentThreadId();
    Shared().queues[queue->threadId] = queue;
  }
  return queue;
}

DWORD MessageTime() { return GetTickCount(); }

// Wakes a reader sleeping on the queue, and a joined loop's poll.
void WakeLocked(Queue& queue) {
  ++queue.generation;
  queue.wake.notify_all();
  if (queue.wakeFd >= 0 && !queue.wakeRaised) {
    const std::uint64_t one = 1;
    queue.wakeRaised = write(queue.wakeFd, &one, sizeof one) == sizeof one;
  }
}

void LowerWakeLocked(Queue& queue) {
  if (!queue.wakeRaised) return;
  std::uint64_t count;
  queue.wakeRaised = read(queue.wakeFd, &count, sizeof count) != sizeof count;
}

void PostLocked(Queue& queue, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  queue.posted.push_back(MSG{hwnd, message, wParam, lParam, MessageTime(), {0, 0}});
  WakeLocked(queue);
}

// The filter a joined loop reads with: every window's messages and the
// timers it can dispatch (a window's, or a thread timer with a procedure).
const HWND kAnyWindow = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-2));

bool InRange(UINT message, UINT filterMin, UINT filterMax) {
  if (filterMin == 0 && filterMax == 0) return true;
  return message >= filterMin && message <= filterMax;
}

bool WindowMatches(HWND messageWindow, HWND filter) {
  if (filter == nullptr) return true;
  if (filter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) return messageWindow == nullptr;
  if (filter == kAnyWindow) return messageWindow != nullptr;
  return messageWindow == filter;
}

bool TimerMatches(const Timer& timer, HWND filter) {
  return WindowMatches(timer.hwnd, filter) || (filter == kAnyWindow && timer.proc != nullptr);
}

// The next message by the desktop's order: posted messages, the quit
// message, then the earliest due timer. A timer taken from the queue counts
// its next period from its schedule, skipping the periods it missed.
std::optional<MSG> TakeLocked(Queue& queue, HWND hwnd, UINT filterMin, UINT filterMax, bool remove) {
  LowerWakeLocked(queue);
  if (hwnd != kAnyWindow) queue.generationSeen = queue.generation;
  for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
    if (!WindowMatches(it->hwnd, hwnd) || !InRange(it->message, filterMin, filterMax)) continue;
    MSG msg = *it;
    if (remove) queue.posted.erase(it);
    return msg;
  }
  if (queue.quit && hwnd != kAnyWindow && InRange(WM_QUIT, filterMin, filterMax)) {
    if (remove) queue.quit = false;
    return MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, MessageTime(), {0, 0}};
  }
  if (!InRange(WM_TIMER, filterMin, filterMax)) return std::nullopt;
  const Clock::time_point now = Clock::now();
  Timer* earliest = nullptr;
  for (Timer& timer : queue.timers) {
    if (timer.due > now || !TimerMatches(timer, hwnd)) continue;
    if (!earliest || timer.due < earliest->due) earliest = &timer;
  }
  if (!earliest) return std::nullopt;
  MSG msg{earliest->hwnd, WM_TIMER, earliest->id, reinterpret_cast<LPARAM>(earliest->proc), MessageTime(), {0, 0}};
  if (remove) {
    const auto missed = (now - earliest->due) / earliest->interval;
    earliest->due += earliest->interval * (missed + 1);
  }
  return msg;
}

// The earliest deadline among the timers a read with this filter can take.
std::optional<Clock::time_point> NextDueLocked(const Queue& queue, HWND hwnd, UINT filterMin, UINT filterMax) {
  std::optional<Clock::time_point> next;
  if (!InRange(WM_TIMER, filterMin, filterMax)) return next;
  for (const Timer& timer : queue.timers) {
    if (TimerMatches(timer, hwnd) && (!next || timer.due < *next)) next = timer.due;
  }
  return next;
}

// Whole milliseconds from now until `due`, rounded up so that a poll with
// this timeout never wakes before it; -1 without a deadline.
int TimeoutMs(std::optional<Clock::time_point> due) {
  if (!due) return -1;
  const auto left = *due - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

// Sleeps until something is posted or the next timer the filter takes is due;
// in the joined loop, when there is one, until it handled something too.
void WaitLocked(std::unique_lock<std::mutex>& lock, Queue& queue, HWND hwnd, UINT filterMin, UINT filterMax) {
  const std::uint64_t seen = queue.generationSeen;
  const std::optional<Clock::time_point> due = NextDueLocked(queue, hwnd, filterMin, filterMax);
  if (const compat::win32::EventLoop* loop = queue.loop) {
    // The wake-up was lowered when the queue was read under this same lock,
    // so a post after that point raises it again and ends the poll.
    const int timeout = TimeoutMs(due);
    lock.unlock();
    loop->wait(timeout);
    lock.lock();
    return;
  }
  const bool quitCounts = InRange(WM_QUIT, filterMin, filterMax);
  auto news = [&] { return queue.generation != seen || (quitCounts && queue.quit); };
  if (due) {
    queue.wake.wait_until(lock, *due, news);
  } else {
    queue.wake.wait(lock, news);
  }
}

Window* FindLocked(HWND hwnd) {
  auto it = Shared().windows.find(hwnd);
  return it == Shared().windows.end() ? nullptr : &it->second;
}

// The queue that holds a window's timers (the calling thread's for thread
// timers); null with the error set for a window that is gone.
std::shared_ptr<Queue> TimerQueueLocked(HWND hwnd) {
  if (!hwnd) return OwnQueueLocked();
  Window* window = FindLocked(hwnd);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return window->queue;
}

}  // namespace

ATOM WINAPI RegisterClassW(const WNDCLASSW* windowClass) {
  if (!windowClass || !windowClass->lpszClassName || !windowClass->lpfnWndProc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::mutex> guard(Shared().lock);
  if (!Shared().classes.emplace(windowClass->lpszClassName, *windowClass).second) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  // The atom's value means nothing here beyond "registered".
  return static_cast<ATOM>(0xC000 + Shared().classes.size() % 0x3FFF);
}

BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  if (!className || Shared().classes.erase(className) == 0) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return FALSE;
  }
  return TRUE;
}

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  HWND hwnd;
  {
    std::lock_guard<std::mutex> guard(Shared().lock);
    auto found = className ? Shared().classes.find(className) : Shared().classes.end();
    if (found == Shared().classes.end()) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    if (parent && parent != HWND_MESSAGE && !FindLocked(parent)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    Shared().lastWindow += 4;
    hwnd = reinterpret_cast<HWND>(Shared().lastWindow);
    Shared().windows.emplace(hwnd, Window{OwnQueueLocked(), found->second.lpfnWndProc});
  }
  CREATESTRUCTW create{param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style),
                       windowName, className, exStyle};
  const LPARAM createParam = reinterpret_cast<LPARAM>(&create);
  if (!SendMessageW(hwnd, WM_NCCREATE, 0, createParam) || SendMessageW(hwnd, WM_CREATE, 0, createParam) == -1) {
    DestroyWindow(hwnd);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  SendMessageW(hwnd, WM_DESTROY, 0, 0);
  SendMessageW(hwnd, WM_NCDESTROY, 0, 0);
  std::lock_guard<std::mutex> guard(Shared().lock);
  Window* window = FindLocked(hwnd);
  if (!window) return TRUE;  // destroyed by its own WM_DESTROY
  Queue& queue = *window->queue;
  std::erase_if(queue.posted, [hwnd](const MSG& msg) { return msg.hwnd == hwnd; });
  std::erase_if(queue.timers, [hwnd](const Timer& timer) { return timer.hwnd == hwnd; });
  Shared().windows.erase(hwnd);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  return FindLocked(hwnd) != nullptr;
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  Window* window = FindLocked(hwnd);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR previous;
  if (index == GWLP_USERDATA) {
    previous = window->userData;
    window->userData = value;
  } else if (index == GWLP_WNDPROC) {
    previous = reinterpret_cast<LONG_PTR>(window->proc);
    window->proc = reinterpret_cast<WNDPROC>(value);
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  SetLastError(ERROR_SUCCESS);
  return previous;
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND hwnd, int index) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  Window* window = FindLocked(hwnd);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (index == GWLP_USERDATA) return window->userData;
  if (index == GWLP_WNDPROC) return reinterpret_cast<LONG_PTR>(window->proc);
  SetLastError(ERROR_INVALID_PARAMETER);
  return 0;
}

LRESULT WINAPI DefWindowProcW(HWND, UINT message, WPARAM, LPARAM) { return message == WM_NCCREATE ? TRUE : 0; }

LRESULT WINAPI SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc;
  {
    std::lock_guard<std::mutex> guard(Shared().lock);
    Window* window = FindLocked(hwnd);
    if (!window) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    proc = window->proc;
  }
  return proc(hwnd, message, wParam, lParam);
}

BOOL WINAPI PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  if (!hwnd) {
    PostLocked(*OwnQueueLocked(), nullptr, message, wParam, lParam);
    return TRUE;
  }
  Window* window = FindLocked(hwnd);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  PostLocked(*window->queue, hwnd, message, wParam, lParam);
  return TRUE;
}

BOOL WINAPI PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  auto found = Shared().queues.find(threadId);
  std::shared_ptr<Queue> queue = found == Shared().queues.end() ? nullptr : found->second.lock();
  if (!queue) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  PostLocked(*queue, nullptr, message, wParam, lParam);
  return TRUE;
}

void WINAPI PostQuitMessage(int exitCode) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  std::shared_ptr<Queue> queue = OwnQueueLocked();
  queue->quit = true;
  queue->quitCode = exitCode;
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
  std::unique_lock<std::mutex> lock(Shared().lock);
  std::shared_ptr<Queue> queue = OwnQueueLocked();
  const bool remove = (removeMsg & PM_REMOVE) != 0;
  std::optional<MSG> taken = TakeLocked(*queue, hwnd, filterMin, filterMax, remove);
  // A message loop polling an empty queue lets the joined loop handle its
  // own events meanwhile, as the desktop's would.
  if (!taken && queue->loop && hwnd == nullptr && filterMin == 0 && filterMax == 0) {
    const compat::win32::EventLoop* loop = queue->loop;
    lock.unlock();
    loop->handlePending();
    lock.lock();
    taken = TakeLocked(*queue, hwnd, filterMin, filterMax, remove);
  }
  if (!taken) return FALSE;
  *msg = *taken;
  return TRUE;
}

BOOL WINAPI GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  std::unique_lock<std::mutex> lock(Shared().lock);
  std::shared_ptr<Queue> queue = OwnQueueLocked();
  for (;;) {
    if (std::optional<MSG> taken = TakeLocked(*queue, hwnd, filterMin, filterMax, true)) {
      *msg = *taken;
      return msg->message == WM_QUIT ? FALSE : TRUE;
    }
    WaitLocked(lock, *queue, hwnd, filterMin, filterMax);
  }
}

BOOL WINAPI WaitMessage() {
  std::unique_lock<std::mutex> lock(Shared().lock);
  std::shared_ptr<Queue> queue = OwnQueueLocked();
  const std::optional<Clock::time_point> due = NextDueLocked(*queue, nullptr, 0, 0);
  if (queue->generation == queue->generationSeen && !queue->quit && !(due && *due <= Clock::now())) {
    WaitLocked(lock, *queue, nullptr, 0, 0);
  }
  queue->generationSeen = queue->generation;
  return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG*) { return FALSE; }

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, MessageTime());
    return 0;
  }
  if (!msg->hwnd) return 0;
  return SendMessageW(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC timerFunc) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  std::shared_ptr<Queue> queue = TimerQueueLocked(hwnd);
  if (!queue) return 0;
  if (!hwnd) id = ++Shared().lastThreadTimer;
  if (elapse < USER_TIMER_MINIMUM) elapse = USER_TIMER_MINIMUM;
  if (elapse > USER_TIMER_MAXIMUM) elapse = USER_TIMER_MAXIMUM;
  const std::chrono::milliseconds interval(elapse);
  const Clock::time_point due = Clock::now() + interval;
  const Timer set{hwnd, id, interval, due, timerFunc};
  auto same = std::find_if(queue->timers.begin(), queue->timers.end(),
                           [&](const Timer& timer) { return timer.hwnd == hwnd && timer.id == id; });
  if (same != queue->timers.end()) {
    *same = set;
  } else {
    queue->timers.push_back(set);
  }
  // A sleeping GetMessageW must learn of a deadline that may be earlier.
  WakeLocked(*queue);
  return id;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  std::shared_ptr<Queue> queue = TimerQueueLocked(hwnd);
  if (!queue) return FALSE;
  if (std::erase_if(queue->timers, [&](const Timer& timer) { return timer.hwnd == hwnd && timer.id == id; }) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

namespace compat::win32 {
bool TakeQuitMessage(int* exitCode) {
  MSG msg;
  if (!PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
  if (exitCode != nullptr) *exitCode = static_cast<int>(msg.wParam);
  return true;
}

int JoinEventLoop(const EventLoop* loop) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  Queue& queue = *OwnQueueLocked();
  queue.loop = loop;
  if (loop && queue.wakeFd < 0) {
    queue.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    queue.wakeRaised = false;
  } else if (!loop && queue.wakeFd >= 0) {
    close(queue.wakeFd);
    queue.wakeFd = -1;
    queue.wakeRaised = false;
  }
  return queue.wakeFd;
}

int NextWindowMessageTimeout() {
  std::lock_guard<std::mutex> guard(Shared().lock);
  const Queue& queue = *OwnQueueLocked();
  if (std::any_of(queue.posted.begin(), queue.posted.end(), [](const MSG& msg) { return msg.hwnd != nullptr; })) {
    return 0;
  }
  return TimeoutMs(NextDueLocked(queue, kAnyWindow, 0, 0));
}

void DispatchWindowMessages() {
  std::unique_lock<std::mutex> lock(Shared().lock);
  std::shared_ptr<Queue> queue = OwnQueueLocked();
  LowerWakeLocked(*queue);
  // What waits now, and no more: a procedure that posts to its own window
  // each time must not keep the loop from its own events.
  std::size_t budget = queue->timers.size() +
                       static_cast<std::size_t>(std::count_if(queue->posted.begin(), queue->posted.end(),
                                                              [](const MSG& msg) { return msg.hwnd != nullptr; }));
  for (; budget > 0; --budget) {
    std::optional<MSG> taken = TakeLocked(*queue, kAnyWindow, 0, 0, true);
    if (!taken) break;
    lock.unlock();
    DispatchMessageW(&*taken);
    lock.lock();
  }
}
}  // namespace compat::win32
