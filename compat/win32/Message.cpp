// Window classes, windows, per-thread message queues and timers.
//
// One lock guards the class table, the window table and every queue: posting
// from another thread is rare next to the owner's reads, and one lock keeps
// the order of window and queue look-ups simple. Window procedures are always
// called without it.
#include "compat/win32/Message.h"

#include <algorithm>
#include <chrono>
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

// The desktop's codes for the window calls' failures.
constexpr DWORD kInvalidWindowHandle = 1400;
constexpr DWORD kCannotFindWindowClass = 1407;
constexpr DWORD kClassAlreadyExists = 1410;
constexpr DWORD kInvalidThreadId = 1444;

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

void PostLocked(Queue& queue, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  queue.posted.push_back(MSG{hwnd, message, wParam, lParam, MessageTime(), {0, 0}});
  ++queue.generation;
  queue.wake.notify_all();
}

bool InRange(UINT message, UINT filterMin, UINT filterMax) {
  if (filterMin == 0 && filterMax == 0) return true;
  return message >= filterMin && message <= filterMax;
}

bool WindowMatches(HWND messageWindow, HWND filter) {
  if (filter == nullptr) return true;
  if (filter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) return messageWindow == nullptr;
  return messageWindow == filter;
}

// The next message by the desktop's order: posted messages, the quit
// message, then the earliest due timer. A timer taken from the queue counts
// its next period from its schedule, skipping the periods it missed.
std::optional<MSG> TakeLocked(Queue& queue, HWND hwnd, UINT filterMin, UINT filterMax, bool remove) {
  queue.generationSeen = queue.generation;
  for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
    if (!WindowMatches(it->hwnd, hwnd) || !InRange(it->message, filterMin, filterMax)) continue;
    MSG msg = *it;
    if (remove) queue.posted.erase(it);
    return msg;
  }
  if (queue.quit && InRange(WM_QUIT, filterMin, filterMax)) {
    if (remove) queue.quit = false;
    return MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, MessageTime(), {0, 0}};
  }
  if (!InRange(WM_TIMER, filterMin, filterMax)) return std::nullopt;
  const Clock::time_point now = Clock::now();
  Timer* earliest = nullptr;
  for (Timer& timer : queue.timers) {
    if (timer.due > now || !WindowMatches(timer.hwnd, hwnd)) continue;
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
    if (WindowMatches(timer.hwnd, hwnd) && (!next || timer.due < *next)) next = timer.due;
  }
  return next;
}

// Sleeps until something is posted or the next timer the filter takes is due.
void WaitLocked(std::unique_lock<std::mutex>& lock, Queue& queue, HWND hwnd, UINT filterMin, UINT filterMax) {
  const std::uint64_t seen = queue.generationSeen;
  const std::optional<Clock::time_point> due = NextDueLocked(queue, hwnd, filterMin, filterMax);
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
    SetLastError(kInvalidWindowHandle);
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
    SetLastError(kClassAlreadyExists);
    return 0;
  }
  // The atom's value means nothing here beyond "registered".
  return static_cast<ATOM>(0xC000 + Shared().classes.size() % 0x3FFF);
}

BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  if (!className || Shared().classes.erase(className) == 0) {
    SetLastError(kCannotFindWindowClass);
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
      SetLastError(kCannotFindWindowClass);
      return nullptr;
    }
    if (parent && parent != HWND_MESSAGE && !FindLocked(parent)) {
      SetLastError(kInvalidWindowHandle);
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
    SetLastError(kInvalidWindowHandle);
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
    SetLastError(kInvalidWindowHandle);
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
    SetLastError(kInvalidWindowHandle);
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
      SetLastError(kInvalidWindowHandle);
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
    SetLastError(kInvalidWindowHandle);
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
    SetLastError(kInvalidThreadId);
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
  std::lock_guard<std::mutex> guard(Shared().lock);
  std::optional<MSG> taken = TakeLocked(*OwnQueueLocked(), hwnd, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0);
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
  ++queue->generation;
  queue->wake.notify_all();
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
}  // namespace compat::win32
