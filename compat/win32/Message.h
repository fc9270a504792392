// Windows without a display: window classes, windows with their procedure and
// user data, one message queue per thread, and timers.
//
// A window belongs to the thread that created it; messages posted to it, from
// any thread, wait in that thread's queue until the thread reads them with
// PeekMessageW or GetMessageW and hands them to DispatchMessageW. A timer is
// no message in the queue: when the queue is read and no posted message
// matches, a due timer produces one WM_TIMER, and a timer that came due
// several times before it was read still produces one. GetMessageW sleeps in
// the kernel until a message is posted or the next timer is due.
//
// Under a display the window system's event loop joins the thread's queue
// (JoinEventLoop below): while that loop runs, a modal dialog's or a window's
// own, it dispatches the queue's window messages and timers; while the
// thread reads its queue, GetMessageW sleeps in that loop, so the windows
// stay alive.
//
//   WNDCLASSW wc{}; wc.lpfnWndProc = Proc; wc.lpszClassName = u"my.class";
//   RegisterClassW(&wc);
//   HWND hwnd = CreateWindowExW(0, u"my.class", u"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
//   SetTimer(hwnd, 17, 20, nullptr);
//   MSG msg; while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
#pragma once

#include "compat/win32/WinTypes.h"

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_TIMER 0x0113
#define WM_USER 0x0400

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define PM_NOYIELD 0x0002

#define WS_POPUP 0x80000000L
#define GWLP_USERDATA (-21)
#define GWLP_WNDPROC (-4)
#define HWND_MESSAGE (reinterpret_cast<HWND>(static_cast<LONG_PTR>(-3)))

// Timers run at least every 10 ms, as on the desktop.
#define USER_TIMER_MINIMUM 0x0000000A
#define USER_TIMER_MAXIMUM 0x7FFFFFFF

using WNDPROC = LRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void(CALLBACK*)(HWND, UINT, UINT_PTR, DWORD);

struct HBRUSH__;
using HBRUSH = HBRUSH__*;

struct POINT {
  LONG x;
  LONG y;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};
using LPMSG = MSG*;

struct WNDCLASSW {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
};

struct CREATESTRUCTW {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCWSTR lpszName;
  LPCWSTR lpszClass;
  DWORD dwExStyle;
};

// 0 with ERROR_CLASS_ALREADY_EXISTS when the name is taken.
ATOM WINAPI RegisterClassW(const WNDCLASSW* windowClass);
BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE instance);
// Sends WM_NCCREATE and WM_CREATE (lParam the CREATESTRUCTW) before it
// returns; 0 with ERROR_CANNOT_FIND_WND_CLASS for an unknown class and
// ERROR_INVALID_WINDOW_HANDLE for a parent that is no window.
HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
// Sends WM_DESTROY and WM_NCDESTROY, kills the window's timers and drops the
// messages still waiting for it.
BOOL WINAPI DestroyWindow(HWND hwnd);
BOOL WINAPI IsWindow(HWND hwnd);
LONG_PTR WINAPI SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value);
LONG_PTR WINAPI GetWindowLongPtrW(HWND hwnd, int index);
LRESULT WINAPI DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window procedure at once; only from the window's own thread.
LRESULT WINAPI SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// From any thread. A null window posts to the calling thread's own queue.
BOOL WINAPI PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL WINAPI PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
void WINAPI PostQuitMessage(int exitCode);
// Posted messages first, in order; then WM_QUIT; then due timers. A null
// window takes every message of the thread, (HWND)-1 only thread messages.
// A filter of 0, 0 takes every message.
BOOL WINAPI PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg);
// Waits for a message: 0 for WM_QUIT, 1 otherwise.
BOOL WINAPI GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax);
// Waits until the queue has something new to read.
BOOL WINAPI WaitMessage();
BOOL WINAPI TranslateMessage(const MSG* msg);
LRESULT WINAPI DispatchMessageW(const MSG* msg);

// A window timer answers `id`; a thread timer (null window) a new id.
// Setting an existing timer again restarts its period.
UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC timerFunc);
BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id);

namespace compat::win32 {
// True once a quit message waits on the calling thread's queue, and takes it
// (with its exit code into `exitCode` when that is not null): how a loop that
// is not a message loop, the engine window's, notices a quit posted from a
// callback.
bool TakeQuitMessage(int* exitCode);

// A window system's event loop on the calling thread, sharing it with the
// thread's message queue.
struct EventLoop {
  // Runs the loop once, sleeping until it has handled an event of its own,
  // the wake-up descriptor became readable or `timeoutMs` passed (-1: no
  // limit). Meanwhile the loop leaves the queue's messages to the reader that
  // called this (GetMessageW, WaitMessage).
  void (*wait)(int timeoutMs);
  // Handles what the loop has pending without sleeping, again leaving the
  // queue's messages to the caller (an unfiltered PeekMessageW that found
  // nothing).
  void (*handlePending)();
};

// Joins `loop` to the calling thread's queue, or parts it again when null.
// Returns the wake-up descriptor the loop watches: it becomes readable when a
// message is posted to the thread or its timers change, and stays so until
// the queue is read; -1 once parted.
int JoinEventLoop(const EventLoop* loop);
// How long the joined loop may sleep before DispatchWindowMessages has work:
// 0 when a window message waits or a timer it serves is due, else the
// milliseconds, rounded up, until the earliest such timer; -1 when none is
// set. The loop asks before each sleep, so a message that a filtered read
// left behind is not lost when the read lowered the wake-up.
int NextWindowMessageTimeout();
// What the joined loop does when the descriptor is readable or a timer came
// due: clears the descriptor, then dispatches the window messages and due
// timers that wait on the calling thread's queue as it starts. Thread
// messages, thread timers without a procedure and the quit message stay for
// the thread's own reader.
void DispatchWindowMessages();
}  // namespace compat::win32
